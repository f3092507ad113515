#pragma once
#include <cstdint>

// The three operations of the converter module, as the program calls them. The module exports
// them with C linkage and the C calling convention under exactly these names.
//
// JpgToBmp, PngToBmp: decode the file at path (an 8-bit path the module opens as it stands; on
// Windows in the system's ANSI code page) into a packed bitmap: a 40-byte BITMAPINFOHEADER with
// positive width and height and 24 bits per pixel, followed by bottom-up rows of blue, green, red
// padded to 4 bytes. *size receives the block's size in bytes, 0 on failure. On entry, *size of
// JpgToBmp is the scale denominator (1 = full size, 2, 4 or 8); PngToBmp ignores it. The module
// owns the block: it stays valid until the next call of the same operation or the module's unload.
//
// BmpToPng: writes the packed bitmap (header directly followed by the pixels) as a PNG file at
// path with the given zlib level (0 ... 9). Non-zero on success, 0 on failure.
using JpgToBmpCall = const std::uint8_t* (*)(const char* path, std::int32_t* size);
using PngToBmpCall = const std::uint8_t* (*)(const char* path, std::int32_t* size);
using BmpToPngCall = int (*)(const char* path, const std::uint8_t* bitmap, int level);

// LastConversionError (optional; a module without it gives no reasons): why the last of the three
// operations failed, as a value of FileError (support/file_error.h); 0 after a success.
using LastConversionErrorCall = std::int32_t (*)();

// Later operations, which a program looks up optionally: a module without them still serves the
// three above. LastConversionError covers them too.
//
// PictureToBmp: decodes the JPEG or PNG file at path (told apart by its first bytes) at full size,
// as JpgToBmp and PngToBmp do, turned upright by its EXIF orientation unless flags holds
// zentileKeepOrientation. Its metadata stays available through PictureMetadata until the next
// call; when the picture was turned, its EXIF data there says orientation 1 and has no thumbnail.
//
// PictureMetadata: the metadata of the last PictureToBmp, as records of a 4-letter type ("iCCP",
// "eXIf", "sRGB", "gAMA", "cHRM"), a 32-bit little-endian length and the data; *size receives its
// size, 0 when there is none.
//
// BmpToJpg: writes the packed bitmap as a JPEG file at quality 1 ... 100, carrying the profile and
// the EXIF data of the metadata (nullptr or size 0: none). BmpToPngWithMetadata: as BmpToPng,
// carrying all of it. Non-zero on success, 0 on failure.
constexpr std::int32_t zentileKeepOrientation = 1;
using PictureToBmpCall = const std::uint8_t* (*)(const char* path, std::int32_t* size, std::int32_t flags);
using PictureMetadataCall = const std::uint8_t* (*)(std::int32_t* size);
using BmpToJpgCall = int (*)(const char* path, const std::uint8_t* bitmap, int quality, const std::uint8_t* metadata,
                             std::int32_t metadataSize);
using BmpToPngWithMetadataCall = int (*)(const char* path, const std::uint8_t* bitmap, int level, const std::uint8_t* metadata,
                                         std::int32_t metadataSize);

#if defined(ZENTILE_BUILD)
#if defined(_WIN32)
#define ZENTILE_EXPORT extern "C" __declspec(dllexport)
#else
#define ZENTILE_EXPORT extern "C" __attribute__((visibility("default")))
#endif
ZENTILE_EXPORT const std::uint8_t* JpgToBmp(const char* path, std::int32_t* size);
ZENTILE_EXPORT const std::uint8_t* PngToBmp(const char* path, std::int32_t* size);
ZENTILE_EXPORT int BmpToPng(const char* path, const std::uint8_t* bitmap, int level);
ZENTILE_EXPORT std::int32_t LastConversionError();
ZENTILE_EXPORT const std::uint8_t* PictureToBmp(const char* path, std::int32_t* size, std::int32_t flags);
ZENTILE_EXPORT const std::uint8_t* PictureMetadata(std::int32_t* size);
ZENTILE_EXPORT int BmpToJpg(const char* path, const std::uint8_t* bitmap, int quality, const std::uint8_t* metadata,
                            std::int32_t metadataSize);
ZENTILE_EXPORT int BmpToPngWithMetadata(const char* path, const std::uint8_t* bitmap, int level, const std::uint8_t* metadata,
                                        std::int32_t metadataSize);
#endif
