#pragma once
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>

// The engine's numbers are compared by their bits: a value one unit in the last place off, or a
// zero of the other sign, is a different result.
inline testing::AssertionResult SameBits(double actual, double expected)
{
    if (std::bit_cast<std::uint64_t>(actual) == std::bit_cast<std::uint64_t>(expected))
        return testing::AssertionSuccess();
    char text[96];
    std::snprintf(text, sizeof text, "%.17g instead of %.17g", actual, expected);
    return testing::AssertionFailure() << text;
}
