#include "imagefile/bmp_file.h"
#include "support/replace_file.h"

namespace {

void PutLe32(std::uint32_t value, std::uint8_t* at)
{
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

FileError SaveBmpFile(const Image& image, const std::string& path)
{
    if (!image.loaded) return FileError::CannotWrite;
    const std::uint32_t pixelBytes = static_cast<std::uint32_t>(RowStride(image.header->biWidth) * image.header->biHeight);
    std::uint8_t fileHeader[14] = {'B', 'M'};
    PutLe32(54 + pixelBytes, fileHeader + 2);  // bfSize
    PutLe32(54, fileHeader + 10);              // bfOffBits
    const FilePiece pieces[] = {{fileHeader, sizeof fileHeader}, {image.header, 40}, {image.bits, pixelBytes}};
    return WriteWholeFile(path, pieces);
}
