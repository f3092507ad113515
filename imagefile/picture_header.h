#pragma once
#include <cstdint>
#include <istream>
#include <string>

#include "imagefile/image_file.h"
#include "support/file_error.h"

// What a picture file's header announces, read without decoding a pixel, so that a picture can be
// refused or scheduled before it costs any memory: the BMP info header, the PNG IHDR chunk, the
// JPEG frame header.
struct PictureHeader {
    PictureKind kind = PictureKind::Unknown;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // Bytes per pixel the decoder holds for the whole picture at once (a progressive JPEG's
    // coefficients, an interlaced PNG's passes); 0 for decoders that work row by row.
    std::uint32_t wholePictureBytesPerPixel = 0;
    std::uint64_t fileBytes = 0;
};

// Reads the header from the start of file (fileBytes long). NotAPicture for other kinds, Damaged or
// Truncated when the header cannot be found.
FileError ParsePictureHeader(std::istream& file, std::uint64_t fileBytes, PictureHeader& header);

// The same for the regular file at path (UTF-8); anything but a regular file is refused unopened.
FileError ReadPictureHeader(const std::string& path, PictureHeader& header);

// Bytes held at the peak of loading the picture: the file and the decoder's buffers, the packed
// bitmap the converter module returns, the picture with its source rows. Saturates for sizes no
// memory holds.
std::uint64_t LoadingBytes(const PictureHeader& header);

// Bytes the loaded picture itself holds: working pixels with their header, source rows, row table.
std::uint64_t HeldPictureBytes(std::uint64_t width, std::uint64_t height);
