#pragma once
#include <bit>
#include <cstdint>

// The 40-byte BITMAPINFOHEADER, defined here with the same byte layout on every platform so that
// pictures, files and the converter's blocks hold identical bytes in every build.
static_assert(std::endian::native == std::endian::little, "pictures are stored little-endian");

struct BitmapInfoHeader {
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};
static_assert(sizeof(BitmapInfoHeader) == 40, "BITMAPINFOHEADER is 40 bytes without padding");

// Bytes of one working row: 3 per pixel plus (width mod 4) padding, a multiple of 4 for 24-bit rows.
constexpr std::int64_t RowStride(std::int32_t width)
{
    return std::int64_t{width} * 3 + width % 4;
}
