#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/file_error.h"

// The module's three conversions on bytes in memory, built on the platform's codecs. Decoders fill
// block with a packed bitmap (see packed_bitmap.h) and refuse, with block emptied and the reason
// returned, anything they cannot decode completely and without damage, or whose picture exceeds
// maxPixels or the packed bitmap's bounds; the size is judged from the header, before the pixels
// cost any memory.

// scaleDenominator 1, 2, 4 or 8 decodes at that fraction of the size; any other value at full size.
FileError DecodeJpeg(const std::uint8_t* data, std::size_t size, int scaleDenominator, std::uint64_t maxPixels,
                     std::vector<std::uint8_t>& block);

// Every colour type, bit depth and interlacing; transparency composited onto white.
FileError DecodePng(const std::uint8_t* data, std::size_t size, std::uint64_t maxPixels, std::vector<std::uint8_t>& block);

// A JPEG or PNG, told apart by its first bytes, at full size with its metadata (picture_metadata.h),
// turned upright by its EXIF orientation unless keepOrientation; a turned picture's EXIF data then
// says orientation 1 and has no thumbnail. On failure both are emptied.
FileError DecodePicture(const std::uint8_t* data, std::size_t size, bool keepOrientation, std::uint64_t maxPixels,
                        std::vector<std::uint8_t>& block, std::vector<std::uint8_t>& metadata);

// Encoders take metadata as picture_metadata.h describes it (nullptr or size 0: none) and carry
// what their format can hold. They return None, or why no file could be made: OutOfMemory,
// TooLargeForJpeg, or CannotWrite for a block that is no packed bitmap.

// An 8-bit RGB PNG of the packed bitmap, the same bytes in every build. Level 0 stores the rows
// uncompressed, any other level compresses them. The picture is compressed in `bands` horizontal
// bands at once, 0 meaning one per core for a picture large enough.
FileError EncodePng(const std::uint8_t* bitmap, int level, int bands, const std::uint8_t* metadata,
                    std::size_t metadataSize, std::vector<std::uint8_t>& png);

// A baseline JPEG of the packed bitmap at quality 1 ... 100 (clamped), with the profile in APP2
// and the EXIF data in APP1.
FileError EncodeJpeg(const std::uint8_t* bitmap, int quality, const std::uint8_t* metadata, std::size_t metadataSize,
                     std::vector<std::uint8_t>& jpeg);
