#pragma once
#include <cstddef>
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
};

// Floats held for tiles of at most width x height.
std::size_t TileScratchFloats(int width, int height);

// False when the memory cannot be had; never throws.
bool AllocateTileScratch(int width, int height, TileScratch& scratch);

// The tile's plane to fill with the channel before DenoiseTileChannel and to read after it.
float* TilePicture(TileScratch& scratch);

// Removes noise of standard deviation noiseSigma from the width x height tile in TilePicture;
// width and height are more than tileMargin.
void DenoiseTileChannel(TileScratch& scratch, int width, int height, float noiseSigma);
