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
// checked against the bytes at hand; anything damaged, lying or out of range is left out, never
// trusted.

// Most bytes of an ICC profile carried: what a JPEG holds, 255 APP2 parts of 65,519 bytes (real
// profiles are a few hundred KiB at most). A profile unpacked from a PNG may also be no larger than
// its file or 1 MiB, whichever is more, so that a small file cannot claim much memory this way.
constexpr std::size_t largestProfile = 255 * 65519;
std::size_t LargestProfileFrom(std::size_t fileSize);

// A profile the module's results may carry: a whole ICC header that states the profile's true size
// and describes RGB data, as the results hold. Another colour space's profile (a grey or CMYK
// picture's) does not describe them, and a cut, lying or junk one describes nothing.
bool IsRgbProfile(const std::uint8_t* profile, std::size_t size);

// Appends one record.
void AddRecord(std::vector<std::uint8_t>& metadata, const char type[4], const std::uint8_t* data, std::size_t size);

// Finds the first record of a type in a block of size bytes. False when there is none or the
// block is damaged.
bool FindRecord(const std::uint8_t* metadata, std::size_t size, const char type[4], const std::uint8_t*& data, std::size_t& length);

// The metadata of a JPEG file (APP1 "Exif", APP2 "ICC_PROFILE" in all its parts) or a PNG file
// (iCCP, sRGB, gAMA, cHRM, eXIf with correct checksums), from the file's bytes.
std::vector<std::uint8_t> ReadJpegMetadata(const std::uint8_t* data, std::size_t size);
std::vector<std::uint8_t> ReadPngMetadata(const std::uint8_t* data, std::size_t size);
