#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "engine/fine/noise_estimate.h"
#include "engine/fine/opponent_colour.h"

// The noise is measured over the picture's blocks of 16 x 16 pixels, from whole-number sums of
// the opponent channels' whole-number weights (r + g + b, r - b, r + b - 2g): added in any order,
// they come out the same for any number of threads and in every build.

constexpr int blockSide = 16;
constexpr int blockPixels = blockSide * blockSide;
// Second differences at this lag see no correlation left (beyond noiseReach) and no smooth shading.
constexpr int secondLag = noiseReach + 1;
constexpr int blockReach = secondLag;  // how far a block's figures read beyond its own pixels
constexpr int blockWindowSide = blockSide + 2 * blockReach;

// The channels' whole-number weights of a pixel are r + g + b, r - b and r + b - 2g; their values
// are these weights times the basis scale, so their variances these times the scale squared.
constexpr double varianceScale[3] = {1.0 / 3, 1.0 / 2, 1.0 / 6};
// The finest diagonal detail, (p00 - p01 - p10 + p11) / 2, is a whole number times half the scale.
constexpr float stepOf[3] = {opponentY / 2, opponentC1 / 2, opponentC2 / 2};
constexpr int histogramSize = 4 * 510 + 1;  // the largest whole number: four samples of 2 x 255

// The lags of one half plane; R(-h) = R(h) gives the other.
struct Lag {
    int dy, dx;
};
constexpr Lag lags[] = {{0, 1}, {0, 2},  {1, -2}, {1, -1}, {1, 0}, {1, 1},
                        {1, 2}, {2, -2}, {2, -1}, {2, 0},  {2, 1}, {2, 2}};
constexpr int lagCount = sizeof lags / sizeof lags[0];
static_assert(lagCount == (noiseSide * noiseSide - 1) / 2, "every lag of the half plane once");

// A block's sums fit 32 bits: 256 squares of differences of at most 1020, and 256 sums of two
// squares of second differences of at most 2040 (under 2^32). A 12-megapixel picture holds some
// 47 000 blocks.
// The products of two channels' differences fit 31 bits with their signs: at most 256 times 2 x
// 1530 x 2040.
struct BlockFigures {
    std::int32_t brightness = 0;          // the sum of r + g + b over the block
    std::int32_t colour[2] = {};          // the sums of r - b and of r + b - 2g over the block
    std::uint32_t lag[3][lagCount] = {};  // per channel, sums of squared differences at each lag
    std::uint32_t second[3] = {};         // per channel, sums of squared second differences, across and down
    std::int32_t crossLag[3][lagCount] = {};  // per pair of channels, sums of their differences' products
    std::int32_t crossSecond[3] = {};         // and of their second differences' products
};

struct BlockGrid {
    int across = 0, down = 0;
    int Count() const { return across * down; }
    int Left(int block) const { return blockReach + (block % across) * blockSide; }
    int Top(int block) const { return blockReach + (block / across) * blockSide; }
};

using Weights = std::array<std::array<std::array<int, blockWindowSide>, blockWindowSide>, 3>;

BlockFigures MeasureBlock(const std::uint8_t* const* rows, int left, int top, Weights& w);

// How much detail each block holds at the finest scales, every lag of the first channels counted
// against its median over the picture's blocks, so that each figure weighs alike.
std::vector<double> BlockDetail(const std::vector<BlockFigures>& blocks, int channels);

// Keeps the flattest tenth of a bin's blocks (at least one) by their detail, ties broken by
// position, so the choice is the same for any thread count.
void KeepFlattest(const std::vector<double>& detail, std::vector<int>& members);

// The autocovariance of one channel's noise from the sums over the flattest blocks.
void Autocovariance(const std::vector<BlockFigures>& blocks, const std::vector<int>& flattest, int c,
                    float (&r)[noiseSide][noiseSide]);

// The covariance of two channels' noise (a pair of noisePairFirst and noisePairSecond) from the
// sums over the flattest blocks, as the autocovariance: products of second differences give R(0),
// products of differences at lag h give 2 R(0) less R(h) + R(-h). Only that symmetric part is
// kept: a filter's output in one channel and the same filter's in the other see no other.
void CrossCovariance(const std::vector<BlockFigures>& blocks, const std::vector<int>& flattest, int pair,
                     float (&r)[noiseSide][noiseSide]);

// Counts |p00 - p01 - p10 + p11| at every position of the block, per channel, into the histograms
// of the block's bin and of its brightness group (histogramSize counts per channel).
void CountDiagonals(const std::uint8_t* const* rows, int left, int top, Weights& w, std::uint32_t* binCounts,
                    std::uint32_t* groupCounts);

// The lower median of the counted whole numbers.
int MedianOf(const std::uint32_t* counts, std::uint64_t total);

// A channel's deviation from the median magnitude of its finest diagonal detail (white noise's).
float SigmaOfMedian(int median, int c);

// The median of the counted whole numbers, interpolated within the value that holds it: the
// texture test compares figures a step of the whole numbers apart.
double InterpolatedMedian(const std::uint32_t* counts, std::uint64_t total);
