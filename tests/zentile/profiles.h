#pragma once
// ICC profiles for the tests: a valid header that states the profile's size and its colour space,
// then a pattern, or zeros that compress to almost nothing.
#include <cstdint>
#include <cstring>
#include <vector>

inline std::vector<std::uint8_t> MakeProfile(std::size_t size, const char space[5] = "RGB ", bool patterned = true)
{
    std::vector<std::uint8_t> profile(size, 0);
    for (std::size_t i = 132; patterned && i < size; ++i) profile[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    for (int i = 0; i < 4; ++i) profile[i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
    std::memcpy(profile.data() + 16, space, 4);
    std::memcpy(profile.data() + 20, "XYZ ", 4);
    std::memcpy(profile.data() + 36, "acsp", 4);
    return profile;  // no tags
}

// The cHRM data of sRGB: white point, red, green, blue, each x and y times 100,000.
inline std::vector<std::uint8_t> SrgbChromaticities()
{
    std::vector<std::uint8_t> data;
    for (std::uint32_t value : {31270u, 32900u, 64000u, 33000u, 30000u, 60000u, 15000u, 6000u})
        for (int i = 0; i < 4; ++i) data.push_back(static_cast<std::uint8_t>(value >> (24 - 8 * i)));
    return data;
}
