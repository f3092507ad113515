#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// What a photograph carries besides its pixels and what the module carries into its results: the
// colour profile, the camera's EXIF data, and PNG's colour chunks. It travels as one block of
// records, each a 4-letter type, a 32-bit little-endian length and that many bytes:
//   "iCCP"  the ICC profile, uncompressed
//   "eXIf"  the EXIF data from its TIFF header on ("II*\0" or "MM\0*")
//   "sRGB", "gAMA", "cHRM"  the data of the PNG chunks of those names
// The readers here walk the file's own structure (JPEG segments, PNG chunks) with every length
// checked against the bytes at hand; anything damaged is left out, never trusted.

// Most bytes of an ICC profile taken from a file: real profiles are a few hundred KiB at most.
constexpr std::size_t largestProfile = 16u << 20;

// Appends one record.
void AddRecord(std::vector<std::uint8_t>& metadata, const char type[4], const std::uint8_t* data, std::size_t size);

// Finds the first record of a type in a block of size bytes. False when there is none or the
// block is damaged.
bool FindRecord(const std::uint8_t* metadata, std::size_t size, const char type[4], const std::uint8_t*& data, std::size_t& length);

// The metadata of a JPEG file (APP1 "Exif", APP2 "ICC_PROFILE" in all its parts) or a PNG file
// (iCCP, sRGB, gAMA, cHRM, eXIf with correct checksums), from the file's bytes.
std::vector<std::uint8_t> ReadJpegMetadata(const std::uint8_t* data, std::size_t size);
std::vector<std::uint8_t> ReadPngMetadata(const std::uint8_t* data, std::size_t size);
