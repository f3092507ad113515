#pragma once
#include <string>

#include "imagefile/image.h"

// Loads the picture file at path (UTF-8) into image. The kind is told by the file's first bytes,
// never by its name: a 24-bit BMP is read here, JPEG and PNG go through the converter module when
// it is loaded. The previous picture is released first, whatever the outcome. False when the file
// is refused; the caller tells the user.
bool LoadImageFile(const std::string& path, Image& image);

// The loaded file's path less its last four characters, to which SaveImageFile appends its ending.
std::string SaveNameStem(const std::string& loadedPath);

// Saves the working picture beside the file it came from: appends "'.png" to path and writes a PNG
// when the converter module is loaded, otherwise appends "'.bmp" and writes a BMP. An existing file
// of that name is replaced only once the new one is complete. A failure is told to the user here;
// the result says whether the file was written.
bool SaveImageFile(const Image& image, std::string& path);
