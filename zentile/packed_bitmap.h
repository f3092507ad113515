#pragma once
#include <cstdint>
#include <vector>

// The module's result: a packed 24-bit bitmap (40-byte header, bottom-up rows of blue, green, red
// padded to 4 bytes), filled row by row in picture order whatever the decoder's own layout.

// Most bytes a packed bitmap may take: its size travels as a signed 32-bit integer.
constexpr std::uint64_t largestPackedBitmap = 0x7FFFFFFF;

std::uint64_t PackedStride(std::uint64_t width);

// Whether a packed bitmap of width x height can be made: positive, within largestPackedBitmap and
// within maxPixels. Decoders ask this of the header before they allocate anything.
bool PackedBitmapFits(std::uint64_t width, std::uint64_t height, std::uint64_t maxPixels);

// Sizes the block for width x height and writes its header. False when PackedBitmapFits is not
// true (callers that must stay small, such as fuzzing, pass a lower maxPixels) or memory runs out.
bool StartPackedBitmap(std::uint64_t width, std::uint64_t height, std::uint64_t maxPixels, std::vector<std::uint8_t>& block);

// Row y counted from the top of the picture.
std::uint8_t* PackedRowFromTop(std::vector<std::uint8_t>& block, std::uint32_t y);

// How a decoder's row holds its samples: 1 grey, 2 grey and alpha, 3 colour, 4 colour and alpha;
// 8- or 16-bit samples, 16-bit ones big- or little-endian; colour in red, green, blue order or
// blue, green, red.
struct RowFormat {
    int channels;
    int bytesPerSample;
    bool bigEndian;
    bool blueFirst;
};

// Converts one decoded row into packed blue, green, red, compositing transparent pixels onto
// white and reducing 16-bit samples to 8 bits, both rounded to nearest.
void PackRow(const std::uint8_t* source, const RowFormat& format, std::uint32_t width, std::uint8_t* bgr);

// Converts one row of 8-bit CMYK. inverted: the samples hold 255 minus the ink, as in the JPEGs
// that carry an Adobe marker.
void PackCmykRow(const std::uint8_t* source, bool inverted, std::uint32_t width, std::uint8_t* bgr);

// Checks the header of a packed bitmap handed to BmpToPng: width and height positive, 24 bits,
// uncompressed.
bool IsPackedBitmap(const std::uint8_t* bitmap, std::uint32_t& width, std::uint32_t& height);

// Turns a packed bitmap upright by an EXIF orientation (2 to 8; 1 and anything else leave it as it
// is): mirrored, turned by a half or a quarter turn, or both. False, with the block unchanged, when
// memory runs out or the turned picture would exceed maxPixels.
bool TurnUpright(int orientation, std::uint64_t maxPixels, std::vector<std::uint8_t>& block);
