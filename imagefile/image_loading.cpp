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

bool LoadImageFile(const std::string& path, Image& image)
{
    ReleaseImage(image);
    const std::filesystem::path where = PathFromUtf8(path);
    std::error_code error;
    if (!std::filesystem::is_regular_file(where, error)) return false;
    const std::uintmax_t size = std::filesystem::file_size(where, error);
    if (error) return false;
    std::ifstream file(where, std::ios::binary);
    std::uint8_t start[29] = {};
    file.read(reinterpret_cast<char*>(start), sizeof start);
    if (file.bad()) return false;
    file.clear();

    // Without the converter module, the conversion refuses JPEG and PNG like any unknown kind.
    switch (KindOfPicture(start, static_cast<std::size_t>(file.gcount()))) {
    case PictureKind::Bmp: return ReadBmp(file, size, image);
    case PictureKind::Jpeg: return ConvertFileToImage(ConvertedKind::Jpeg, path, image);
    case PictureKind::Png: return ConvertFileToImage(ConvertedKind::Png, path, image);
    case PictureKind::Unknown: break;
    }
    return false;
}
