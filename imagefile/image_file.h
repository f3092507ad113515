#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "imagefile/image.h"
#include "support/file_error.h"

enum class PictureKind { Bmp, Jpeg, Png, Unknown };

// The kind a file's first bytes announce, by the fixed tests in their order: "BM" with 24 at
// byte 28 (a 24-bit BMP), FF D8 FF (JPEG), 89 at byte 0 and "G" at byte 3 (PNG). JPEG and PNG
// can be read only while the converter module is loaded.
PictureKind KindOfPicture(const std::uint8_t* start, std::size_t length);

// How a photograph is read: turned upright by its orientation tag, as it is meant to be seen,
// unless the pixels are wanted as stored.
struct LoadChoices {
    bool keepOrientation = false;
};

// Loads the picture file at path (UTF-8) into image. The kind is told by the file's first bytes,
// never by its name: a 24-bit BMP is read here, JPEG and PNG go through the converter module when
// it is loaded. The previous picture is released first, whatever the outcome. Anything but a
// regular file (a folder, a device, a pipe) is refused without being opened. The reason of a
// refusal is returned; the caller tells the user.
FileError LoadImageFile(const std::string& path, Image& image, const LoadChoices& choices = {});

// The loaded file's path less its last four characters, to which SaveImageFile appends its ending.
std::string SaveNameStem(const std::string& loadedPath);

// Saves the working picture beside the file it came from: appends "'.png" to path and writes a PNG
// when the converter module is loaded, otherwise appends "'.bmp" and writes a BMP. An existing file
// of that name is replaced only once the new one is complete. Tells nobody: the caller words the
// returned reason.
FileError SaveImageFile(const Image& image, std::string& path);
