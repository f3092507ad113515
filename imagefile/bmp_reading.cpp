#include <cstdlib>
#include <cstring>

#include "imagefile/bmp_file.h"

namespace {

constexpr std::uint64_t fileHeaderSize = 14;
constexpr std::uint64_t infoHeaderSize = 40;

std::uint32_t Le32(const std::uint8_t* at)
{
    return at[0] | at[1] << 8 | at[2] << 16 | std::uint32_t{at[3]} << 24;
}

bool ReadBytes(std::istream& file, void* to, std::uint64_t count)
{
    file.read(static_cast<char*>(to), static_cast<std::streamsize>(count));
    return static_cast<std::uint64_t>(file.gcount()) == count;
}

// The pixel rows, bottom row first whatever the order in the file.
bool ReadRows(std::istream& file, bool topDown, Image& image)
{
    const std::int32_t height = image.header->biHeight;
    const std::int64_t stride = RowStride(image.header->biWidth);
    if (!topDown) return ReadBytes(file, image.bits, static_cast<std::uint64_t>(stride * height));
    for (std::int32_t y = height - 1; y >= 0; --y)
        if (!ReadBytes(file, image.bits + y * stride, static_cast<std::uint64_t>(stride))) return false;
    return true;
}

FileError ReadChecked(std::istream& file, std::uint64_t fileSize, Image& image)
{
    if (fileSize < fileHeaderSize + infoHeaderSize) return FileError::Truncated;
    std::uint8_t start[fileHeaderSize + infoHeaderSize];
    if (!file.seekg(0) || !ReadBytes(file, start, sizeof start)) return FileError::ReadFailed;
    if (start[0] != 'B' || start[1] != 'M') return FileError::NotAPicture;

    const std::uint64_t pixelOffset = Le32(start + 10);
    const std::uint64_t infoSize = Le32(start + 14);
    if (infoSize < infoHeaderSize) return FileError::Damaged;
    if (infoSize > fileSize - fileHeaderSize || pixelOffset > fileSize) return FileError::Truncated;
    if (pixelOffset < fileHeaderSize + infoSize) return FileError::Damaged;

    BitmapInfoHeader info;
    std::memcpy(&info, start + fileHeaderSize, sizeof info);
    if (info.biBitCount != 24) return FileError::BmpDepth;
    if (info.biCompression != 0) return FileError::BmpCompression;
    if (info.biWidth <= 0 || info.biHeight == 0 || info.biHeight == INT32_MIN) return FileError::Damaged;
    const bool topDown = info.biHeight < 0;
    const std::int32_t height = std::abs(info.biHeight);
    if (!ImageBytesFit(info.biWidth, height)) return FileError::TooLarge;
    // Divided, not multiplied, so that no claimed size can overflow before it is compared.
    if (static_cast<std::uint64_t>(RowStride(info.biWidth)) > (fileSize - pixelOffset) / height) return FileError::Truncated;

    if (!AllocateImage(info.biWidth, height, image, NewPixels::ToBeWritten)) return FileError::OutOfMemory;
    // The program's layout: a plain 40-byte header, bottom-up rows, no colour table.
    *image.header = info;
    image.header->biSize = infoHeaderSize;
    image.header->biHeight = height;
    image.header->biClrUsed = 0;
    image.header->biClrImportant = 0;
    if (!file.seekg(static_cast<std::streamoff>(pixelOffset)) || !ReadRows(file, topDown, image)) return FileError::ReadFailed;
    FillSourceRows(image);
    return FileError::None;
}

}  // namespace

FileError ReadBmp(std::istream& file, std::uint64_t fileSize, Image& image)
{
    const FileError error = ReadChecked(file, fileSize, image);
    if (error != FileError::None) ReleaseImage(image);
    return error;
}
