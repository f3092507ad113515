#include "engine/fine/fine_tile.h"

#include <algorithm>
#include <new>

#include "engine/fine/bivariate_shrink.h"
#include "engine/fine/undecimated_haar.h"

namespace {

// The planes: the picture (the smooth part as the levels go down) and three detail bands of each
// level. Levels hold their details; the parents' level is made a row at a time from the smoothest
// part when the finest-but-last level needs it.
constexpr int tilePlanes = 1 + 3 * fineLevels;
// Rows of scratch: two for a pass's results before they go in place, seven for the parents'
// level, a window of sums for each band and the padded row of the sums.
constexpr int scratchRows = 2 + 7 + 3 * windowSide + 1;

struct TilePlanes {
    float* picture;
    float* detail[fineLevels][3];
    float* first;   // results of a pass before they go in place
    float* second;
    float* parentWork[4];
    float* parent[3];
    float* sums[3][windowSide];
    float* padded;
    const std::uint8_t* brightness;
    int width;
    int height;
    float* Row(float* plane, int y) const { return plane + static_cast<std::size_t>(y) * width; }
};

TilePlanes PlanesOf(TileScratch& scratch, int width, int height)
{
    const std::size_t planeSize = static_cast<std::size_t>(width) * height;
    TilePlanes p{};
    p.width = width;
    p.height = height;
    p.picture = scratch.block.get();
    float* next = p.picture + planeSize;
    for (auto& level : p.detail)
        for (float*& band : level) {
            band = next;
            next += planeSize;
        }
    const auto row = [&] {
        float* at = next;
        next += width;
        return at;
    };
    p.first = row();
    p.second = row();
    for (float*& work : p.parentWork) work = row();
    for (float*& band : p.parent) band = row();
    for (auto& window : p.sums)
        for (float*& sums : window) sums = row();
    p.padded = next;
    p.brightness = scratch.brightness.get();
    return p;
}

int Wrap(int y, int height) { return y < 0 ? y + height : y >= height ? y - height : y; }

// A window's row for picture row y: the ring of windowSide rows of sums.
int Slot(int y) { return ((y % windowSide) + windowSide) % windowSide; }

void CopyRow(const float* from, float* to, int n) { std::copy(from, from + n, to); }

// One analysis level in place, along the rows and then down the columns: the picture plane becomes
// the smooth part of the next level and the three bands receive the level's details.
void Analyse(const TilePlanes& p, int level)
{
    const int step = 1 << level;
    float* const* bands = p.detail[level];
    for (int y = 0; y < p.height; ++y) {
        AnalyseRow(p.Row(p.picture, y), p.first, p.Row(bands[1], y), p.width, step);
        CopyRow(p.first, p.Row(p.picture, y), p.width);
    }
    // Rows below y are still as the row pass left them; only the wrapped partners of the last
    // rows are not, and those lie in the margin.
    for (int y = 0; y < p.height; ++y) {
        const int partner = Wrap(y + step, p.height);
        AnalyseRowPair(p.Row(p.picture, y), p.Row(p.picture, partner), p.first, p.Row(bands[0], y), p.width);
        AnalyseRowPair(p.Row(bands[1], y), p.Row(bands[1], partner), p.second, p.Row(bands[2], y), p.width);
        CopyRow(p.first, p.Row(p.picture, y), p.width);
        CopyRow(p.second, p.Row(bands[1], y), p.width);
    }
}

// Row y of the parents' level's three bands, from the smoothest part the analysis left.
void ParentRow(const TilePlanes& p, int y)
{
    const int step = 1 << fineLevels;
    const int partner = Wrap(y + step, p.height);
    float* const* work = p.parentWork;
    AnalyseRow(p.Row(p.picture, y), work[0], work[1], p.width, step);
    AnalyseRow(p.Row(p.picture, partner), work[2], work[3], p.width, step);
    AnalyseRowPair(work[0], work[2], p.first, p.parent[0], p.width);
    AnalyseRowPair(work[1], work[3], p.parent[1], p.parent[2], p.width);
}

// Shrinks one level's three bands in place, row by row, with their parents still as measured.
// The window sums of the next rows are taken before those rows are shrunk; the wrapped rows below
// the last are not, and those lie in the margin.
void Shrink(const TilePlanes& p, int level, const ChannelNoise& noise)
{
    float* const* bands = p.detail[level];
    for (int band = 0; band < 3; ++band)
        for (int k = -windowReach; k < windowReach; ++k)
            SquareSumsAlongRow(p.Row(bands[band], Wrap(k, p.height)), p.sums[band][Slot(k)], p.padded, p.width);
    for (int y = 0; y < p.height; ++y) {
        const int ahead = y + windowReach;
        for (int band = 0; band < 3; ++band)
            SquareSumsAlongRow(p.Row(bands[band], Wrap(ahead, p.height)), p.sums[band][Slot(ahead)], p.padded, p.width);
        if (level + 1 == fineLevels) ParentRow(p, y);
        for (int band = 0; band < 3; ++band) {
            const float* window[windowSide];
            for (int k = 0; k < windowSide; ++k) window[k] = p.sums[band][Slot(y + k - windowReach)];
            const float* parent = level + 1 == fineLevels ? p.parent[band] : p.Row(p.detail[level + 1][band], y);
            const std::uint8_t* codes = p.brightness + static_cast<std::size_t>(y) * p.width;
            BivariateShrinkRow(p.Row(bands[band], y), parent, window, p.width, codes, noise.variance[level][band],
                               noise.parentScale[level][band]);
        }
    }
}

// One synthesis level in place, down the columns and then along the rows, from the last row up:
// the rows above y are still the smooth part; only the wrapped rows above the first are not, and
// those lie in the margin.
void Synthesise(const TilePlanes& p, int level)
{
    const int step = 1 << level;
    float* const* bands = p.detail[level];
    for (int y = p.height - 1; y >= 0; --y) {
        const int before = Wrap(y - step, p.height);
        SynthesiseRowPair(p.Row(p.picture, y), p.Row(bands[0], y), p.Row(p.picture, before),
                          p.Row(bands[0], before), p.first, p.width);
        SynthesiseRowPair(p.Row(bands[1], y), p.Row(bands[2], y), p.Row(bands[1], before),
                          p.Row(bands[2], before), p.second, p.width);
        SynthesiseRow(p.first, p.second, p.Row(p.picture, y), p.width, step);
    }
}

}  // namespace

namespace {

std::size_t TileScratchFloats(int width, int height)
{
    return tilePlanes * static_cast<std::size_t>(width) * height +
           scratchRows * static_cast<std::size_t>(width) + width + 2 * windowReach;
}

}  // namespace

std::size_t TileScratchBytes(int width, int height)
{
    return sizeof(float) * TileScratchFloats(width, height) + static_cast<std::size_t>(width) * height;
}

bool AllocateTileScratch(int width, int height, TileScratch& scratch)
{
    scratch.block.reset(new (std::nothrow) float[TileScratchFloats(width, height)]);
    scratch.brightness.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(width) * height]);
    return scratch.block != nullptr && scratch.brightness != nullptr;
}

float* TilePicture(TileScratch& scratch) { return scratch.block.get(); }

std::uint8_t* TileBrightness(TileScratch& scratch)
{
    return scratch.brightness.get();
}

void DenoiseTileChannel(TileScratch& scratch, int width, int height, const ChannelNoise& noise)
{
    const TilePlanes planes = PlanesOf(scratch, width, height);
    for (int level = 0; level < fineLevels; ++level) Analyse(planes, level);
    // Fine to coarse, so that each level's parents are read before they are shrunk themselves.
    for (int level = 0; level < fineLevels; ++level) Shrink(planes, level, noise);
    for (int level = fineLevels - 1; level >= 0; --level) Synthesise(planes, level);
}
