#include "imagefile/picture_header.h"

#include <filesystem>
#include <fstream>
#include <limits>

#include "support/replace_file.h"

namespace {

constexpr std::uint64_t saturated = std::numeric_limits<std::uint64_t>::max();

bool ReadBytes(std::istream& file, std::uint8_t* to, std::size_t count)
{
    file.read(reinterpret_cast<char*>(to), static_cast<std::streamsize>(count));
    return static_cast<std::size_t>(file.gcount()) == count;
}

std::uint32_t Le32(const std::uint8_t* at)
{
    return at[0] | at[1] << 8 | at[2] << 16 | std::uint32_t{at[3]} << 24;
}

std::uint32_t Be32(const std::uint8_t* at)
{
    return std::uint32_t{at[0]} << 24 | at[1] << 16 | at[2] << 8 | at[3];
}

std::uint32_t Be16(const std::uint8_t* at)
{
    return static_cast<std::uint32_t>(at[0] << 8 | at[1]);
}

FileError BmpHeader(const std::uint8_t* start, PictureHeader& header)
{
    const std::int32_t width = static_cast<std::int32_t>(Le32(start + 18));
    const std::int32_t height = static_cast<std::int32_t>(Le32(start + 22));
    if (width <= 0 || height == 0 || height == std::numeric_limits<std::int32_t>::min()) return FileError::Damaged;
    header.width = static_cast<std::uint32_t>(width);
    header.height = static_cast<std::uint32_t>(height < 0 ? -height : height);
    return FileError::None;
}

// IHDR is the first chunk: width, height, bit depth, colour type, compression, filter, interlace.
FileError PngHeader(const std::uint8_t* start, PictureHeader& header)
{
    if (Be32(start + 8) != 13 || Be32(start + 12) != 0x49484452) return FileError::Damaged;  // "IHDR"
    header.width = Be32(start + 16);
    header.height = Be32(start + 20);
    if (header.width == 0 || header.height == 0) return FileError::Damaged;
    const int depth = start[24], colourType = start[25];
    if (start[28] == 1) {  // interlaced: the passes are held for the whole picture
        const std::uint32_t channels = ((colourType & 2) ? 3 : 1) + 1;  // with an alpha channel at most
        header.wholePictureBytesPerPixel = channels * (depth == 16 ? 2 : 1);
    }
    return FileError::None;
}

// Walks the markers up to the frame header (SOF0 ... SOF15 but DHT, JPG and DAC).
FileError JpegHeader(std::istream& file, PictureHeader& header)
{
    if (!file.seekg(2)) return FileError::ReadFailed;
    for (;;) {
        std::uint8_t marker[2];
        if (!ReadBytes(file, marker, 1)) return FileError::Truncated;
        if (marker[0] != 0xFF) return FileError::Damaged;
        do {
            if (!ReadBytes(file, marker + 1, 1)) return FileError::Truncated;
        } while (marker[1] == 0xFF);  // fill bytes
        const std::uint8_t code = marker[1];
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) continue;  // markers without a segment
        if (code == 0xD9 || code == 0xDA) return FileError::Damaged;   // end or scan before any frame
        std::uint8_t length[2];
        if (!ReadBytes(file, length, 2)) return FileError::Truncated;
        const std::uint32_t segment = Be16(length);
        if (segment < 2) return FileError::Damaged;
        const bool frame = code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
        if (!frame) {
            if (!file.seekg(segment - 2, std::ios::cur)) return FileError::Truncated;
            continue;
        }
        std::uint8_t fields[6];
        if (segment < 8 || !ReadBytes(file, fields, sizeof fields)) return FileError::Truncated;
        header.height = Be16(fields + 1);
        header.width = Be16(fields + 3);
        // A height of 0 is set later by a DNL marker; the decoders here refuse it in any case.
        if (header.width == 0 || header.height == 0) return FileError::Damaged;
        const bool progressive = code == 0xC2 || code == 0xC6 || code == 0xCA || code == 0xCE;
        if (progressive) header.wholePictureBytesPerPixel = 2 * static_cast<std::uint32_t>(fields[5]);  // 16-bit coefficients
        return FileError::None;
    }
}

std::uint64_t Sum(std::uint64_t a, std::uint64_t b)
{
    return a > saturated - b ? saturated : a + b;
}

std::uint64_t Product(std::uint64_t a, std::uint64_t b)
{
    return b != 0 && a > saturated / b ? saturated : a * b;
}

}  // namespace

FileError ParsePictureHeader(std::istream& file, std::uint64_t fileBytes, PictureHeader& header)
{
    header = PictureHeader{};
    header.fileBytes = fileBytes;
    std::uint8_t start[32] = {};
    file.read(reinterpret_cast<char*>(start), sizeof start);
    const std::size_t length = static_cast<std::size_t>(file.gcount());
    file.clear();
    header.kind = KindOfPicture(start, length);
    switch (header.kind) {
    case PictureKind::Bmp: return length >= 26 ? BmpHeader(start, header) : FileError::Truncated;
    case PictureKind::Png: return length >= 29 ? PngHeader(start, header) : FileError::Truncated;
    case PictureKind::Jpeg: return JpegHeader(file, header);
    case PictureKind::Unknown: break;
    }
    return FileError::NotAPicture;
}

FileError ReadPictureHeader(const std::string& path, PictureHeader& header)
{
    const std::filesystem::path where = PathFromUtf8(path);
    std::error_code error;
    if (!std::filesystem::is_regular_file(where, error)) return FileError::NotRegularFile;
    const std::uintmax_t size = std::filesystem::file_size(where, error);
    if (error) return FileError::ReadFailed;
    std::ifstream file(where, std::ios::binary);
    if (!file.is_open()) return FileError::NoPermission;
    return ParsePictureHeader(file, size, header);
}

std::uint64_t HeldPictureBytes(std::uint64_t width, std::uint64_t height)
{
    const std::uint64_t stride = Sum(Product(width, 3), width % 4);
    const std::uint64_t working = Sum(40, Product(stride, height));
    const std::uint64_t source = Product(Product(width, 3), height);
    return Sum(Sum(working, source), Product(height, sizeof(void*)));
}

std::uint64_t LoadingBytes(const PictureHeader& header)
{
    const std::uint64_t held = HeldPictureBytes(header.width, header.height);
    if (header.kind == PictureKind::Bmp) return held;
    // The module holds the file and its decoder's buffers while it makes the packed bitmap (as
    // large as the working pixels), which is then copied into the picture.
    const std::uint64_t pixels = Product(header.width, header.height);
    const std::uint64_t decoding = Sum(header.fileBytes, Product(pixels, header.wholePictureBytesPerPixel));
    const std::uint64_t packed = Sum(40, Product(Sum(Product(header.width, 3), header.width % 4), header.height));
    return Sum(packed, decoding > held ? decoding : held);
}
