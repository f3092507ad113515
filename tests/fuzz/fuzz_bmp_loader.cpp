// Any bytes as a BMP file: read completely or refused, never read past the end; what is read has
// the program's layout.
#include <cstdlib>
#include <sstream>
#include <string>

#include "imagefile/bmp_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream file(std::string(reinterpret_cast<const char*>(data), size));
    Image image;
    if (ReadBmp(file, size, image) != FileError::None) {
        if (image.loaded) std::abort();
        return 0;
    }
    if (image.header->biSize != 40 || image.header->biHeight <= 0 || image.header->biWidth <= 0) std::abort();
    // Every source row and working row must be addressable in full.
    std::uint32_t sum = 0;
    const std::int64_t stride = RowStride(image.header->biWidth);
    for (std::int32_t y = 0; y < image.header->biHeight; ++y)
        sum += image.rows[y][image.header->biWidth * 3 - 1] + image.bits[y * stride + stride - 1];
    return static_cast<int>(sum & 0);
}
