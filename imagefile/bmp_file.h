#pragma once
#include <cstdint>
#include <istream>
#include <string>

#include "imagefile/image.h"
#include "support/file_error.h"

// Reads a 24-bit uncompressed BMP of fileSize bytes from the start of file into image, in the
// program's own layout (40-byte header, bottom-up rows). Accepts larger info headers (V4, V5) and
// top-down files, taking the pixels from bfOffBits. Anything else, and every file too short for
// what its header claims, is refused with its reason and image released.
FileError ReadBmp(std::istream& file, std::uint64_t fileSize, Image& image);

// Writes the working picture as a BMP: 14-byte file header, the 40-byte header as held, the
// working rows with their padding. Replaces path only once the whole file is written, and only
// when path is a regular file or a new name.
FileError SaveBmpFile(const Image& image, const std::string& path);
