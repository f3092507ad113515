#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "imagefile/image.h"

// Reproducible numbers on every platform: a linear congruential generator, and roughly Gaussian
// noise of standard deviation 1 as the sum of twelve of its uniforms less 6.
struct Numbers {
    std::uint32_t state;
    double Uniform()
    {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / 16777216.0;
    }
    double Gaussian()
    {
        double sum = 0;
        for (int i = 0; i < 12; ++i) sum += Uniform();
        return sum - 6;
    }
};

inline std::uint8_t Clamped(double v)
{
    return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : std::lround(v));
}

// A picture whose source rows hold value(x, y, channel) plus noise of the given deviation.
template <class Value>
inline Image MakePicture(int width, int height, double noise, const Value& value)
{
    Image image;
    EXPECT_TRUE(AllocateImage(width, height, image));
    Numbers numbers{2024};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) image.rows[y][3 * x + c] = Clamped(value(x, y, c) + noise * numbers.Gaussian());
    std::memset(image.bits, 0xA5, static_cast<std::size_t>(RowStride(width) * height));
    return image;
}
