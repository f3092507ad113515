#include "engine/fine_tile.h"

#include <new>

#include "engine/bivariate_shrink.h"
#include "engine/undecimated_haar.h"

namespace {

struct TilePlanes {
    float* picture;
    float* low;
    float* high;
    float* detail[fineLevels + 1][3];  // horizontal, vertical, diagonal detail of each level
    float* padded;
    int width;
    int height;
    float* Row(float* plane, int y) const { return plane + static_cast<std::size_t>(y) * width; }
};

TilePlanes PlanesOf(TileScratch& scratch, int width, int height)
{
    const std::size_t planeSize = static_cast<std::size_t>(width) * height;
    float* next = scratch.block.get();
    TilePlanes planes{};
    planes.picture = next;
    planes.low = next += planeSize;
    planes.high = next += planeSize;
    for (auto& level : planes.detail)
        for (float*& band : level) band = next += planeSize;
    planes.padded = next + planeSize;
    planes.width = width;
    planes.height = height;
    return planes;
}

int Wrap(int y, int height) { return y < 0 ? y + height : y >= height ? y - height : y; }

// One analysis level: the picture plane becomes the next level's smooth part (kept as it is on
// the parents' level, which is only needed for its details).
void Analyse(const TilePlanes& p, int level)
{
    const int step = 1 << level;
    for (int y = 0; y < p.height; ++y)
        AnalyseRow(p.Row(p.picture, y), p.Row(p.low, y), p.Row(p.high, y), p.width, step);
    float* const* bands = p.detail[level];
    const bool parentsOnly = level == fineLevels;
    for (int y = 0; y < p.height; ++y) {
        const int partner = Wrap(y + step, p.height);
        AnalyseRowPair(p.Row(p.low, y), p.Row(p.low, partner),
                       parentsOnly ? nullptr : p.Row(p.picture, y), p.Row(bands[0], y), p.width);
        AnalyseRowPair(p.Row(p.high, y), p.Row(p.high, partner), p.Row(bands[1], y),
                       p.Row(bands[2], y), p.width);
    }
}

// The window sums of one band's squares go through `low` (along rows) into `high` (across).
void Shrink(const TilePlanes& p, float* band, const float* parentBand, float noiseSigma)
{
    for (int y = 0; y < p.height; ++y)
        SquareSumsAlongRow(p.Row(band, y), p.Row(p.low, y), p.padded, p.width);
    for (int y = 0; y < p.height; ++y) {
        const float* rows[windowSide];
        for (int k = 0; k < windowSide; ++k) rows[k] = p.Row(p.low, Wrap(y + k - windowReach, p.height));
        SumRows(rows, p.Row(p.high, y), p.width);
    }
    for (int y = 0; y < p.height; ++y)
        BivariateShrinkRow(p.Row(band, y), parentBand + static_cast<std::size_t>(y) * p.width,
                           p.Row(p.high, y), p.width, noiseSigma);
}

void Synthesise(const TilePlanes& p, int level)
{
    const int step = 1 << level;
    float* const* bands = p.detail[level];
    for (int y = 0; y < p.height; ++y) {
        const int before = Wrap(y - step, p.height);
        SynthesiseRowPair(p.Row(p.picture, y), p.Row(bands[0], y), p.Row(p.picture, before),
                          p.Row(bands[0], before), p.Row(p.low, y), p.width);
        SynthesiseRowPair(p.Row(bands[1], y), p.Row(bands[2], y), p.Row(bands[1], before),
                          p.Row(bands[2], before), p.Row(p.high, y), p.width);
    }
    for (int y = 0; y < p.height; ++y)
        SynthesiseRow(p.Row(p.low, y), p.Row(p.high, y), p.Row(p.picture, y), p.width, step);
}

}  // namespace

std::size_t TileScratchFloats(int width, int height)
{
    return tilePlanes * static_cast<std::size_t>(width) * height + width + 2 * windowReach;
}

bool AllocateTileScratch(int width, int height, TileScratch& scratch)
{
    scratch.block.reset(new (std::nothrow) float[TileScratchFloats(width, height)]);
    scratch.largestWidth = width;
    scratch.largestHeight = height;
    return scratch.block != nullptr;
}

float* TilePicture(TileScratch& scratch) { return scratch.block.get(); }

void DenoiseTileChannel(TileScratch& scratch, int width, int height, float noiseSigma)
{
    const TilePlanes planes = PlanesOf(scratch, width, height);
    for (int level = 0; level <= fineLevels; ++level) Analyse(planes, level);
    // Coarse to fine would read parents already shrunk; fine to coarse reads them as measured.
    for (int level = 0; level < fineLevels; ++level)
        for (int band = 0; band < 3; ++band)
            Shrink(planes, planes.detail[level][band], planes.detail[level + 1][band], noiseSigma);
    for (int level = fineLevels - 1; level >= 0; --level) Synthesise(planes, level);
}
