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
#endif
