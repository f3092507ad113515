#pragma once
// The pixels of the checked-in sample pictures, shared by the program that made them and the tests
// that decode them. Pictures are 13 x 7 (odd width: padded rows), counted from the top.
#include <cstdint>

constexpr int sampleWidth = 13;
constexpr int sampleHeight = 7;

// 16-bit colour and alpha samples; 8-bit pictures use the high byte, lower depths the top bits.
inline std::uint16_t SampleValue(int x, int y, int channel)
{
    return static_cast<std::uint16_t>((x * 4099 + y * 9001 + channel * 20011 + x * y * 313) & 0xFFFF);
}

// Alpha covers fully transparent, fully opaque and partial values.
inline std::uint16_t SampleAlpha(int x, int y)
{
    if (x == 0) return 0;
    if (x == 1) return 0xFFFF;
    return static_cast<std::uint16_t>((x * 7919 + y * 3571) & 0xFFFF);
}

// Palette pictures: 16 entries, the index by position, entries 0 and 5 (partly) transparent.
inline int SampleIndex(int x, int y) { return (x + y * 3) % 16; }
inline std::uint8_t PaletteValue(int index, int channel) { return static_cast<std::uint8_t>(index * 16 + channel * 85); }
inline std::uint8_t PaletteAlpha(int index) { return index == 0 ? 0 : index == 5 ? 100 : 255; }

// JPEG pictures are 16 x 8 smooth gradients, since the format is lossy.
constexpr int jpegWidth = 16;
constexpr int jpegHeight = 8;
inline std::uint8_t JpegValue(int x, int y, int channel)
{
    return static_cast<std::uint8_t>(channel == 0 ? 40 + x * 10 : channel == 1 ? 60 + y * 20 : 200 - x * 5 - y * 5);
}
