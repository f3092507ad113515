#pragma once
#include <cstddef>
#include <memory>

// One channel of one tile through the adaptive wavelet denoiser: an undecimated Haar transform of
// fineLevels levels whose details are shrunk with their parents one level coarser, then the
// inverse. A tile is a block of rows in one plane (width x height floats, row after row); the
// transform wraps round its edges, so only the part at least tileMargin inside them comes out as
// on the whole picture, the caller's overlap.
constexpr int fineLevels = 4;
// Reach of one output element, in both directions: the analysis to the parents' level
// (1 + 2 + ... + 16 = 31 ahead), the shrinkage window (4), the synthesis (1 + ... + 8 = 15 back).
constexpr int tileMargin = 40;

// The planes of one tile channel: its picture plane, two transform scratch planes and the three
// detail bands of each level, the parents' level included.
constexpr int tilePlanes = 3 + 3 * (fineLevels + 1);

struct TileScratch {
    std::unique_ptr<float[]> block;  // tilePlanes planes of the largest tile, then a padded row
    int largestWidth = 0;
    int largestHeight = 0;
};

// Floats held for tiles of at most width x height.
std::size_t TileScratchFloats(int width, int height);

// False when the memory cannot be had; never throws.
bool AllocateTileScratch(int width, int height, TileScratch& scratch);

// The tile's plane to fill with the channel before DenoiseTileChannel and to read after it.
float* TilePicture(TileScratch& scratch);

// Removes noise of standard deviation noiseSigma from the width x height tile in TilePicture.
void DenoiseTileChannel(TileScratch& scratch, int width, int height, float noiseSigma);
