#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

// One channel of one tile through the adaptive wavelet denoiser: an undecimated Haar transform of
// fineLevels levels whose details are shrunk with their parents one level coarser, then the
// inverse. A tile is a block of rows in one plane (width x height floats, row after row). Every
// pass works row by row in place, so a tile holds its picture plane and the details of its levels
// and little else; the transform wraps round the tile's edges and the passes in place overwrite
// what the wrapped rows and columns read, so only the part at least tileMargin inside the edges
// comes out as on the whole picture: the caller's overlap.
constexpr int fineLevels = 4;
// Reach of one output element, in both directions: the analysis to the parents' level
// (1 + 2 + ... + 16 = 31 ahead), the shrinkage window (4), the synthesis (1 + ... + 8 = 15 back).
constexpr int tileMargin = 40;

struct TileScratch {
    std::unique_ptr<float[]> block;  // the planes of the largest tile, then rows of scratch
    std::unique_ptr<std::uint8_t[]> brightness;  // a brightness code per element of the tile
};

// The codes of brightness the noise is looked up by: the mean of R, G and B over the 8 x 8 pixels
// round a place (from 4 before it to 3 after it, both ways), rounded down.
constexpr int brightnessCodes = 256;

// The noise of one channel as the shrinkage reads it, for each level, orientation and brightness
// code: the variance of the band's noise, and the ratio of its deviation to its parents'.
struct ChannelNoise {
    float variance[fineLevels][3][brightnessCodes];
    float parentScale[fineLevels][3][brightnessCodes];
};

// Bytes held for tiles of at most width x height.
std::size_t TileScratchBytes(int width, int height);

// False when the memory cannot be had; never throws.
bool AllocateTileScratch(int width, int height, TileScratch& scratch);

// The tile's plane to fill with the channel before DenoiseTileChannel and to read after it.
float* TilePicture(TileScratch& scratch);

// The tile's brightness codes, row after row, to fill before its channels are denoised.
std::uint8_t* TileBrightness(TileScratch& scratch);

// Removes the noise from the width x height tile in TilePicture; width and height are more than
// tileMargin.
void DenoiseTileChannel(TileScratch& scratch, int width, int height, const ChannelNoise& noise);
