#include <cstdint>
#include <filesystem>
#include <fstream>

#include "imagefile/bmp_file.h"
#include "imagefile/converter_library.h"
#include "imagefile/image_file.h"
#include "support/replace_file.h"

PictureKind KindOfPicture(const std::uint8_t* start, std::size_t length)
{
    if (length > 28 && start[0] == 'B' && start[1] == 'M' && start[28] == 24) return PictureKind::Bmp;
    if (length >= 3 && start[0] == 0xFF && start[1] == 0xD8 && start[2] == 0xFF) return PictureKind::Jpeg;
    if (length >= 4 && start[0] == 0x89 && start[3] == 'G') return PictureKind::Png;
    return PictureKind::Unknown;
}

namespace {

FileError StatusFailure(const std::error_code& error)
{
    if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory) return FileError::NotFound;
    if (error == std::errc::permission_denied) return FileError::NoPermission;
    if (error == std::errc::filename_too_long) return FileError::NameTooLong;
    return FileError::ReadFailed;
}

}  // namespace

FileError LoadImageFile(const std::string& path, Image& image, const LoadChoices& choices)
{
    ReleaseImage(image);
    const std::filesystem::path where = PathFromUtf8(path);
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(where, error);
    if (error) return StatusFailure(error);
    if (std::filesystem::is_directory(status)) return FileError::Folder;
    // A pipe or a terminal would wait for a writer, a device might never end: never opened.
    if (!std::filesystem::is_regular_file(status)) return FileError::NotRegularFile;
    const std::uintmax_t size = std::filesystem::file_size(where, error);
    if (error) return StatusFailure(error);
    std::ifstream file(where, std::ios::binary);
    if (!file.is_open()) return FileError::NoPermission;
    std::uint8_t start[29] = {};
    file.read(reinterpret_cast<char*>(start), sizeof start);
    if (file.bad()) return FileError::ReadFailed;
    file.clear();
    const std::size_t length = static_cast<std::size_t>(file.gcount());

    switch (KindOfPicture(start, length)) {
    case PictureKind::Bmp: return ReadBmp(file, size, image);
    case PictureKind::Jpeg: return ConvertFileToImage(ConvertedKind::Jpeg, path, choices.keepOrientation, image);
    case PictureKind::Png: return ConvertFileToImage(ConvertedKind::Png, path, choices.keepOrientation, image);
    case PictureKind::Unknown: break;
    }
    // A BMP of another depth still says so in its first bytes.
    if (length > 28 && start[0] == 'B' && start[1] == 'M') return FileError::BmpDepth;
    return FileError::NotAPicture;
}
