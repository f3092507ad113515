// Any picture with any metadata block through the PNG and JPEG writers: each must make a file its
// decoder reads back at the same size (the PNG with the very pixels), whose metadata reads safely.
//
// Input: width - 1, height - 1, JPEG quality, PNG level, PNG bands, the metadata's length (2
// bytes), the metadata, then the pixels' bytes (repeated as far as needed).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zentile/codecs.h"
#include "zentile/packed_bitmap.h"
#include "zentile/picture_metadata.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 7) return 0;
    const std::uint32_t width = data[0] + 1u, height = data[1] + 1u;
    const int quality = data[2], level = data[3] % 10, bands = data[4] % 5;
    const std::size_t metadataSize = std::min<std::size_t>(data[5] | data[6] << 8, size - 7);
    const std::uint8_t* metadata = data + 7;
    const std::uint8_t* pixels = metadata + metadataSize;
    const std::size_t pixelBytes = size - 7 - metadataSize;

    std::vector<std::uint8_t> bitmap;
    if (!StartPackedBitmap(width, height, 1 << 22, bitmap)) std::abort();
    for (std::size_t i = 40; i < bitmap.size(); ++i) bitmap[i] = pixelBytes ? pixels[i % pixelBytes] : 0;

    std::vector<std::uint8_t> png, jpeg, back;
    if (EncodePng(bitmap.data(), level, bands, metadata, metadataSize, png) != FileError::None) std::abort();
    if (DecodePng(png.data(), png.size(), 1 << 22, back) != FileError::None) std::abort();
    for (std::uint32_t y = 0; y < height; ++y)
        if (std::memcmp(PackedRowFromTop(back, y), PackedRowFromTop(bitmap, y), 3 * width) != 0) std::abort();
    ReadPngMetadata(png.data(), png.size());

    if (EncodeJpeg(bitmap.data(), quality, metadata, metadataSize, jpeg) != FileError::None) std::abort();
    std::uint32_t backWidth = 0, backHeight = 0;
    if (DecodeJpeg(jpeg.data(), jpeg.size(), 1, 1 << 22, back) != FileError::None ||
        !IsPackedBitmap(back.data(), backWidth, backHeight) || backWidth != width || backHeight != height)
        std::abort();
    ReadJpegMetadata(jpeg.data(), jpeg.size());
    return 0;
}
