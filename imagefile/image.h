#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "imagefile/bitmap_header.h"

// One picture in memory: a packed device-independent bitmap (header directly followed by the
// working pixels, bottom row first, rows padded to 4 bytes) and the source rows, an unpadded copy
// of the pixels as loaded that nothing writes afterwards. Every derived picture (views, denoising)
// is computed from the source rows into the working pixels, so results never accumulate.
//
// The engine and the views take a picture as the triple (header, bits, rows).
struct Image {
    std::unique_ptr<std::uint8_t[]> dib;         // header at offset 0, bits at offset 40
    BitmapInfoHeader* header = nullptr;
    std::uint8_t* bits = nullptr;
    std::unique_ptr<std::uint8_t[]> sourcePixels; // height rows of 3 * width bytes, back to back
    std::unique_ptr<std::uint8_t*[]> rows;        // height pointers into sourcePixels
    bool loaded = false;
    // What the converter module read besides the pixels (profile, EXIF data), handed back to it
    // unread when the picture is saved; empty for BMP files and modules that do not offer it.
    std::vector<std::uint8_t> metadata;
};

// Whether a picture of this size keeps every byte count within 32-bit arithmetic, as the program's
// pictures must; sizes that are not positive do not fit.
bool ImageBytesFit(std::int32_t width, std::int32_t height);

// How a new picture's pixels start: all zero, or left for a loader that writes every working and
// source byte (a 12-megapixel picture would otherwise clear 72 MB only to overwrite it); the row
// padding is zero either way.
enum class NewPixels { Zeroed, ToBeWritten };

// Makes an empty picture of the given size: a 24-bit bottom-up header (size 40, planes 1,
// every other field 0), working pixels and source rows as start says. False, with the picture
// released, when the size is not positive or its bytes do not fit in memory or in 32-bit
// arithmetic.
bool AllocateImage(std::int32_t width, std::int32_t height, Image& image,
                   NewPixels start = NewPixels::Zeroed);

// Copies the working pixels into the source rows, dropping the row padding.
void FillSourceRows(Image& image);

// Frees everything; the picture is then not loaded.
void ReleaseImage(Image& image);
