#include "engine/fine/noise_estimate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <vector>

#include "engine/fine/mirror.h"
#include "engine/fine/opponent_colour.h"
#include "engine/parallel_for.h"
#include "engine/wide_loops.h"

namespace {

constexpr int blockSide = 16;
constexpr int blockPixels = blockSide * blockSide;
// Second differences at this lag see no correlation left (beyond noiseReach) and no smooth shading.
constexpr int secondLag = noiseReach + 1;
constexpr int blockReach = secondLag;  // how far a block's figures read beyond its own pixels
constexpr int windowSide = blockSide + 2 * blockReach;
constexpr int blocksPerBin = 200;
constexpr int flattestPercent = 10;
// A band counts as louder than the finest diagonal detail only by more than this margin, and only
// where every channel's band is at least commonMargin times louder; a channel may then exceed the
// quietest channel's gain at most channelCap times.
constexpr double deadZone = 0.2;
constexpr double commonMargin = 1.1;
constexpr double channelCap = 1.5;
// A camera that keeps colour at a lower resolution than brightness (JPEG's 4:2:0, or its own
// colour smoothing) or quantises it more coarsely (JPEG at full colour resolution) leaves the
// colour channels' finest detail quieter than the brightness's, and their noise in blotches of 8
// to 16 pixels that the autocovariance's few pixels cannot see. Where both colour channels' finest
// figure is at most colourSmoothed times the brightness's (demosaicing alone: 1 and more in the
// green-magenta channel; JPEG: 0.1 to 0.7), and their autocovariance makes the second level's
// diagonal detail at least colourSmooth times louder than the finest (white noise: 1; colour a
// camera smoothed: 2.5 and more), their bands are measured directly over wide windows round the
// flattest blocks. A sensor's colour matrix makes its colour noise louder than its brightness
// noise, so those bands may exceed the brightness's, up to colourLouder times.
constexpr double colourSmoothed = 0.75;
constexpr double colourSmooth = 2.0;
constexpr float colourLouder = 1.5f;
// A camera's own strong noise reduction blurs the brightness's noise over more pixels than the
// autocovariance's reach, so the coarse levels that follow from it read low: about 0.6 of the true
// noise on the camera model with that processing, against 1.0 without it or with a lighter one.
// Its mark: the brightness's fourth level at least smoothedShape times its finest (3.7 on the
// median picture; demosaicing, JPEG or the lighter reduction 1.7 to 3.1), while red-blue's finest
// figure is smoothedColourLeast to smoothedColourMost times the brightness's: the reduction quieted
// the brightness's finest detail almost as much as JPEG quieted the colour's (JPEG after no or a
// light reduction leaves 0.1 to 0.3, a picture without JPEG 0.55 and more). Louder noise steepens
// the shape and lets JPEG quiet the colour further, so a shape of smoothedShapeSteep admits red-blue
// down to smoothedColourSteep. Where at least half the bins bear the mark, the brightness's third to
// fifth levels are raised smoothedRaise times, what the model's measured figure lacked there.
// Pictures of strong fine texture can bear the shape's mark under any processing; the colour's
// bounds keep them out where the picture went through JPEG.
constexpr double smoothedShape = 3.3;
constexpr double smoothedColourLeast = 0.3;
constexpr double smoothedShapeSteep = 3.6;
constexpr double smoothedColourSteep = 0.2;
constexpr double smoothedColourMost = 0.5;
constexpr float smoothedRaise = 1.7f;
constexpr int smoothedFirstLevel = 2;
constexpr double wideOutlier = 3.0;
constexpr int wideBorder = 8;  // the window: the block and this much round it
constexpr int wideSide = blockSide + 2 * wideBorder;
constexpr int wideReach = 1 << (noiseLevels - 1);  // the coarsest filter's half, either way
constexpr int wideRegion = wideSide + 2 * wideReach;
// Natural texture is a pattern of reflectances under the light, so its detail grows with the
// brightness; a camera's noise grows no louder from shadows to highlights through its tone curve
// (photon noise rises as the square root of the light, the curve's slope falls faster), and white
// noise stays the same. Where the finest detail of the picture's brighter parts is clearly louder
// than that of its darker parts, the figures read texture: fine texture everywhere (ripples of
// water, a stucco wall) made smaller, under weak noise. The test sorts the blocks into brightness
// groups of groupBlocks and keeps those away from black and white by clipMargin times their figure
// (clipping quiets the noise there); the median figure of the brightest third of them over the
// darkest third's, from riseNone to riseFull, is the share of texture, from none to all. Groups, not
// the bins, so that a picture of a few hundred blocks (one bin) is tested too: at least groupBlocks
// blocks each (some 10 000 finest values, a steady median), so that a picture of 192 x 192 pixels
// (about 120 blocks) has the three groups the test needs.
constexpr int groupBlocks = 40;
constexpr double clipMargin = 6.0;
constexpr double riseNone = 1.1;
constexpr double riseFull = 1.3;
constexpr int fewestClear = 3;  // the groups the test needs: a darker and a brighter third and one between
// What the test finds of texture holds each bin's figure towards the quieter darker parts, and
// takes the band shape, measured in texture too, part of the way back to white noise's: a camera's
// own noise reduction can leave its noise as steep a shape, and the whole way back lost more there
// than it won on texture.
constexpr double shapeReturn = 0.35;
// Texture that is a pattern of reflectances has a detail proportional to the brightness, and adds
// to the noise's in quadrature: figure^2 = noise^2 + (k brightness)^2. Where at least
// quadratureGroups clear groups follow that within quadratureFit, the noise is what the line
// through the darker and the brighter third leaves at black: below the darker parts' own figure,
// which still holds texture. At most down to quadratureFloor times that figure.
constexpr int quadratureGroups = 5;
constexpr double quadratureFit = 0.1;
constexpr double quadratureFloor = 0.5;

// The lags of one half plane; R(-h) = R(h) gives the other.
struct Lag {
    int dy, dx;
};
constexpr Lag lags[] = {{0, 1}, {0, 2},  {1, -2}, {1, -1}, {1, 0}, {1, 1},
                        {1, 2}, {2, -2}, {2, -1}, {2, 0},  {2, 1}, {2, 2}};
constexpr int lagCount = sizeof lags / sizeof lags[0];
static_assert(lagCount == (noiseSide * noiseSide - 1) / 2, "every lag of the half plane once");

// The channels' whole-number weights of a pixel are r + g + b, r - b and r + b - 2g; their values
// are these weights times the basis scale, so their variances these times the scale squared.
constexpr double varianceScale[3] = {1.0 / 3, 1.0 / 2, 1.0 / 6};
// The finest diagonal detail, (p00 - p01 - p10 + p11) / 2, is a whole number times half the scale.
constexpr float stepOf[3] = {opponentY / 2, opponentC1 / 2, opponentC2 / 2};
constexpr int histogramSize = 4 * 510 + 1;  // the largest whole number: four samples of 2 x 255

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

using Weights = std::array<std::array<std::array<int, windowSide>, windowSide>, 3>;

// The weights of the block's pixels and of blockReach pixels around them.
QV_LOOP_BODY void ReadWindow(const std::uint8_t* const* rows, int left, int top, Weights& w)
{
    for (int y = 0; y < windowSide; ++y) {
        const std::uint8_t* pixel = rows[top - blockReach + y] + 3 * (left - blockReach);
        for (int x = 0; x < windowSide; ++x, pixel += 3) {
            const int b = pixel[0], g = pixel[1], r = pixel[2];
            w[0][y][x] = r + g + b;
            w[1][y][x] = r - b;
            w[2][y][x] = r + b - 2 * g;
        }
    }
}

using EightWords = std::uint32_t __attribute__((vector_size(32)));

QV_LOOP_BODY EightWords LoadWords(const int* from)
{
    EightWords v;
    __builtin_memcpy(&v, from, sizeof v);
    return v;
}

QV_LOOP_BODY std::uint32_t LaneTotal(EightWords v)
{
    std::uint32_t total = 0;
    for (int i = 0; i < 8; ++i) total += v[i];
    return total;
}

// Eight columns at a time in whole numbers modulo 2^32: every total fits 32 bits (with its sign
// where it is signed), so the order of the additions does not matter. Each difference serves its
// channel's squares and the pairs' products alike.
QV_LOOP_BODY void MeasureBlockIntoBody(const std::uint8_t* const* rows, int left, int top, Weights& w,
                                       BlockFigures& figures)
{
    ReadWindow(rows, left, top, w);
    constexpr int first = blockReach, last = blockReach + blockSide;
    EightWords level[3] = {};
    for (int y = first; y < last; ++y)
        for (int x = first; x < last; x += 8)
            for (int c = 0; c < 3; ++c) level[c] += LoadWords(&w[c][y][x]);
    figures.brightness = static_cast<std::int32_t>(LaneTotal(level[0]));
    figures.colour[0] = static_cast<std::int32_t>(LaneTotal(level[1]));
    figures.colour[1] = static_cast<std::int32_t>(LaneTotal(level[2]));
    for (int k = 0; k < lagCount; ++k) {
        EightWords own[3] = {}, cross[3] = {};
        for (int y = first; y < last; ++y)
            for (int x = first; x < last; x += 8) {
                EightWords d[3];
                for (int c = 0; c < 3; ++c)
                    d[c] = LoadWords(&w[c][y + lags[k].dy][x + lags[k].dx]) - LoadWords(&w[c][y][x]);
                for (int c = 0; c < 3; ++c) own[c] += d[c] * d[c];
                for (int pair = 0; pair < 3; ++pair) cross[pair] += d[noisePairFirst[pair]] * d[noisePairSecond[pair]];
            }
        for (int c = 0; c < 3; ++c) figures.lag[c][k] = LaneTotal(own[c]);
        for (int pair = 0; pair < 3; ++pair) figures.crossLag[pair][k] = static_cast<std::int32_t>(LaneTotal(cross[pair]));
    }
    EightWords own[3] = {}, cross[3] = {};
    for (int y = first; y < last; ++y)
        for (int x = first; x < last; x += 8) {
            EightWords across[3], down[3];
            for (int c = 0; c < 3; ++c) {
                const EightWords at = LoadWords(&w[c][y][x]);
                across[c] = LoadWords(&w[c][y][x - secondLag]) - (at + at) + LoadWords(&w[c][y][x + secondLag]);
                down[c] = LoadWords(&w[c][y - secondLag][x]) - (at + at) + LoadWords(&w[c][y + secondLag][x]);
            }
            for (int c = 0; c < 3; ++c) own[c] += across[c] * across[c] + down[c] * down[c];
            for (int pair = 0; pair < 3; ++pair) {
                const int a = noisePairFirst[pair], b = noisePairSecond[pair];
                cross[pair] += across[a] * across[b] + down[a] * down[b];
            }
        }
    for (int c = 0; c < 3; ++c) figures.second[c] = LaneTotal(own[c]);
    for (int pair = 0; pair < 3; ++pair) figures.crossSecond[pair] = static_cast<std::int32_t>(LaneTotal(cross[pair]));
}
QV_WIDE_LOOP(MeasureBlockInto,
             (const std::uint8_t* const* rows, int left, int top, Weights& w, BlockFigures& figures),
             (rows, left, top, w, figures))

BlockFigures MeasureBlock(const std::uint8_t* const* rows, int left, int top, Weights& w)
{
    BlockFigures figures;
    MeasureBlockInto(rows, left, top, w, figures);
    return figures;
}

// How much detail a block holds at the finest scales, every lag of the first channels counted
// against its median over the picture's blocks, so that each figure weighs alike.
std::vector<double> Detail(const std::vector<BlockFigures>& blocks, int channels)
{
    const std::size_t count = blocks.size();
    std::vector<double> detail(count, 0.0);
    std::vector<std::uint32_t> values(count);
    const auto add = [&](auto figureOf) {
        for (std::size_t b = 0; b < count; ++b) values[b] = figureOf(blocks[b]);
        std::vector<std::uint32_t> sorted = values;
        std::nth_element(sorted.begin(), sorted.begin() + count / 2, sorted.end());
        const double median = static_cast<double>(std::max<std::uint32_t>(sorted[count / 2], 1));
        for (std::size_t b = 0; b < count; ++b) detail[b] += static_cast<double>(values[b]) / median;
    };
    for (int c = 0; c < channels; ++c) {
        for (int k = 0; k < lagCount; ++k) add([c, k](const BlockFigures& f) { return f.lag[c][k]; });
        add([c](const BlockFigures& f) { return f.second[c]; });
    }
    return detail;
}

// The autocovariance of one channel's noise from the sums over the flattest blocks.
void Autocovariance(const std::vector<BlockFigures>& blocks, const std::vector<int>& flattest, int c,
                    float (&r)[noiseSide][noiseSide])
{
    std::int64_t second = 0, lagSums[lagCount] = {};
    for (int b : flattest) {
        second += blocks[static_cast<std::size_t>(b)].second[c];
        for (int k = 0; k < lagCount; ++k) lagSums[k] += blocks[static_cast<std::size_t>(b)].lag[c][k];
    }
    const double pixels = static_cast<double>(flattest.size()) * blockPixels;
    // A second difference at secondLag has variance 6 R(0) (two directions summed: 12 R(0)); a first
    // difference at lag h has twice R(0) - R(h).
    const double variance = static_cast<double>(second) / (12 * pixels) * varianceScale[c];
    r[noiseReach][noiseReach] = static_cast<float>(variance);
    for (int k = 0; k < lagCount; ++k) {
        const double halfSquare = static_cast<double>(lagSums[k]) / (2 * pixels) * varianceScale[c];
        const float value = static_cast<float>(variance - halfSquare);
        r[noiseReach + lags[k].dy][noiseReach + lags[k].dx] = value;
        r[noiseReach - lags[k].dy][noiseReach - lags[k].dx] = value;
    }
}

// The covariance of two channels' noise (a pair of noisePairFirst and noisePairSecond) from the
// sums over the flattest blocks, as the autocovariance: products of second differences give R(0),
// products of differences at lag h give 2 R(0) less R(h) + R(-h). Only that symmetric part is
// kept: a filter's output in one channel and the same filter's in the other see no other.
void CrossCovariance(const std::vector<BlockFigures>& blocks, const std::vector<int>& flattest, int pair,
                     float (&r)[noiseSide][noiseSide])
{
    std::int64_t second = 0, lagSums[lagCount] = {};
    for (int b : flattest) {
        second += blocks[static_cast<std::size_t>(b)].crossSecond[pair];
        for (int k = 0; k < lagCount; ++k) lagSums[k] += blocks[static_cast<std::size_t>(b)].crossLag[pair][k];
    }
    const double pixels = static_cast<double>(flattest.size()) * blockPixels;
    const double scale = std::sqrt(varianceScale[noisePairFirst[pair]] * varianceScale[noisePairSecond[pair]]);
    const double covariance = static_cast<double>(second) / (12 * pixels) * scale;
    r[noiseReach][noiseReach] = static_cast<float>(covariance);
    for (int k = 0; k < lagCount; ++k) {
        const double halfProduct = static_cast<double>(lagSums[k]) / (2 * pixels) * scale;
        const float value = static_cast<float>(covariance - halfProduct);
        r[noiseReach + lags[k].dy][noiseReach + lags[k].dx] = value;
        r[noiseReach - lags[k].dy][noiseReach - lags[k].dx] = value;
    }
}

// sum_n h(n) h(n + u) of a level's one-dimensional Haar filter of 2^(level + 1) taps, smooth (all
// +1) or detail (+1 then -1), times the number of taps, for |u| <= noiseReach.
std::array<int, noiseSide> FilterCorrelation(int level, bool detail)
{
    const int taps = 2 << level;
    std::array<int, noiseSide> correlation{};
    for (int u = -noiseReach; u <= noiseReach; ++u)
        for (int n = 0; n < taps; ++n) {
            const int m = n + u;
            if (m < 0 || m >= taps) continue;
            const int sn = detail && n >= taps / 2 ? -1 : 1, sm = detail && m >= taps / 2 ? -1 : 1;
            correlation[static_cast<std::size_t>(u + noiseReach)] += sn * sm;
        }
    return correlation;
}

// The variance of a band of the undecimated Haar transform (orthonormal filters) of noise with
// autocovariance r.
double BandVariance(const float (&r)[noiseSide][noiseSide], int level, int orientation)
{
    const bool detailDown = orientation != 1, detailAcross = orientation != 0;
    const std::array<int, noiseSide> down = FilterCorrelation(level, detailDown);
    const std::array<int, noiseSide> across = FilterCorrelation(level, detailAcross);
    const double taps = static_cast<double>(2 << level);
    double sum = 0;
    for (int dy = 0; dy < noiseSide; ++dy)
        for (int dx = 0; dx < noiseSide; ++dx)
            sum += static_cast<double>(down[static_cast<std::size_t>(dy)] * across[static_cast<std::size_t>(dx)]) *
                   static_cast<double>(r[dy][dx]);
    return sum / (taps * taps);
}

// Whether a colour channel's noise was smoothed by the camera (its autocovariance makes the second
// level's diagonal detail at least colourSmooth times louder than the finest), which leaves it in
// blotches wider than the autocovariance's reach.
bool SmoothedColour(const float (&r)[noiseSide][noiseSide])
{
    const double finest = BandVariance(r, 0, 2), second = BandVariance(r, 1, 2);
    return finest > 0 && second >= colourSmooth * colourSmooth * finest;
}

// How many times louder than the finest diagonal detail the noise of each of count filters (three
// a level, one per orientation, finest level first) is taken to be, per channel, from the filters'
// variances under the bin's autocovariance (variance(c, i)): the ratio of deviations less deadZone,
// and only where every channel's is clearly above 1.
// A colour channel the camera smoothed reads its coarser levels low: its noise there is correlated
// beyond the autocovariance's reach, which then makes them no louder than its finest and would
// leave every channel's coarse bands at white noise's figure, the brightness's too (on the camera
// model with strong colour smoothing, a quarter of its true noise there). From the third level on,
// such a channel still agrees where it found the finer level louder.
template <class Variance>
void Gains(const NoiseLevels& noise, int bin, int count, const Variance& variance, double* gain)
{
    for (int c = 0; c < 3; ++c) {
        const double base = BandVariance(noise.autocovariance[bin][c], 0, 2);
        for (int i = 0; i < count; ++i) {
            const double ratio = base > 0 ? std::sqrt(std::max(variance(c, i), 0.0) / base) : 1.0;
            gain[c * count + i] = std::max(1.0, ratio - deadZone);
        }
    }
    std::vector<double> agrees(gain, gain + 3 * count);
    const auto says = [&](int c, int i) -> double& { return agrees[static_cast<std::size_t>(c * count + i)]; };
    for (int c = 1; c < 3; ++c)
        if (SmoothedColour(noise.autocovariance[bin][c]))
            for (int i = 2 * 3; i < count; ++i) says(c, i) = std::max(says(c, i), says(c, i - 3));
    for (int i = 0; i < count; ++i) {
        const double common = std::min({says(0, i), says(1, i), says(2, i)});
        for (int c = 0; c < 3; ++c) {
            double& g = gain[c * count + i];
            g = common < commonMargin ? 1.0 : std::min(g, channelCap * common);
        }
    }
}

// Keeps the flattest tenth of a bin's blocks (at least one) by their detail, ties broken by
// position, so the choice is the same for any thread count.
void KeepFlattest(const std::vector<double>& detail, std::vector<int>& members)
{
    std::sort(members.begin(), members.end(), [&](int a, int b) {
        const double da = detail[static_cast<std::size_t>(a)], db = detail[static_cast<std::size_t>(b)];
        return da != db ? da < db : a < b;
    });
    members.resize(std::max<std::size_t>(1, (members.size() * flattestPercent + 50) / 100));
}

// Sums of squared band values of the colour channels (1 and 2) over a window round one block,
// per level and orientation, in the channels' whole-number weights times 2^(level + 1) (each band
// value is a sum of four boxes of 2^level x 2^level weights). The filters are centred on each of the
// window's places (every place: JPEG's blocks make the bands' noise differ from place to place
// along its grid), read over the picture mirrored at its edges.
using WideSums = std::array<std::array<std::array<std::int64_t, 3>, noiseLevels>, 2>;

WideSums WideBlock(std::int32_t width, std::int32_t height, const std::uint8_t* const* rows, int left, int top)
{
    // Integral images of the two colour weights over the region the filters read.
    static_assert(wideRegion * wideRegion * 510 < (1 << 30), "the integral images fit 32 bits");
    constexpr int side = wideRegion + 1;
    std::vector<std::int32_t> integral(2 * side * side, 0);
    const int x0 = left - wideBorder - wideReach, y0 = top - wideBorder - wideReach;
    for (int y = 0; y < wideRegion; ++y) {
        const std::uint8_t* row = rows[Mirror(y0 + y, height)];
        std::int32_t run[2] = {0, 0};
        for (int x = 0; x < wideRegion; ++x) {
            const std::uint8_t* pixel = row + 3 * Mirror(x0 + x, width);
            const int b = pixel[0], g = pixel[1], r = pixel[2];
            run[0] += r - b;
            run[1] += r + b - 2 * g;
            for (int c = 0; c < 2; ++c) {
                const std::size_t at = static_cast<std::size_t>(c * side * side + (y + 1) * side + x + 1);
                integral[at] = integral[at - side] + run[c];
            }
        }
    }
    WideSums sums{};
    for (int c = 0; c < 2; ++c) {
        const std::int32_t* in = integral.data() + c * side * side;
        for (int level = 0; level < noiseLevels; ++level) {
            const int half = 1 << level;
            // The box of half x half weights whose top left corner is (x, y) in the region.
            const auto box = [&](int x, int y) {
                return in[(y + half) * side + x + half] - in[y * side + x + half] - in[(y + half) * side + x] +
                       in[y * side + x];
            };
            for (int y = 0; y < wideSide; ++y)
                for (int x = 0; x < wideSide; ++x) {
                    const int fx = wideReach + x - half, fy = wideReach + y - half;
                    const std::int64_t a = box(fx, fy), b = box(fx + half, fy), cc = box(fx, fy + half),
                                       d = box(fx + half, fy + half);
                    const std::int64_t down = (a + b) - (cc + d), across = (a - b) + (cc - d),
                                       diagonal = (a - b) - (cc - d);
                    sums[c][level][0] += down * down;
                    sums[c][level][1] += across * across;
                    sums[c][level][2] += diagonal * diagonal;
                }
        }
    }
    return sums;
}

// The colour channels' band deviations over the windows round the given blocks.
void WideColourBands(std::int32_t width, std::int32_t height, const std::uint8_t* const* rows, const BlockGrid& grid,
                     const std::vector<int>& blocks, WorkerTeam& team, float (&out)[2][noiseLevels][3])
{
    std::vector<WideSums> perBlock(blocks.size());
    ParallelFor(team, static_cast<int>(blocks.size()), 8, [&](int, int first, int last) {
        for (int i = first; i < last; ++i)
            perBlock[static_cast<std::size_t>(i)] =
                WideBlock(width, height, rows, grid.Left(blocks[static_cast<std::size_t>(i)]),
                          grid.Top(blocks[static_cast<std::size_t>(i)]));
    });
    for (int c = 0; c < 2; ++c)
        for (int level = 0; level < noiseLevels; ++level) {
            const int half = 1 << level, places = wideSide * wideSide;
            // A band value is its whole-number sum over 2 half, and the weights are the channel over its basis scale.
            const double scale = varianceScale[c + 1] / (4.0 * half * half * places);
            for (int o = 0; o < 3; ++o) {
                // Noise varies little from window to window; colour texture in a few of them (a
                // flower's edge, a coloured stone) would raise the mean, so windows above
                // wideOutlier times the median are left out.
                std::vector<std::int64_t> sums(perBlock.size());
                for (std::size_t i = 0; i < perBlock.size(); ++i) sums[i] = perBlock[i][c][level][o];
                std::vector<std::int64_t> sorted = sums;
                std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2),
                                 sorted.end());
                const double limit = wideOutlier * static_cast<double>(sorted[sorted.size() / 2]);
                double sum = 0;
                std::size_t kept = 0;
                for (const std::int64_t value : sums)
                    if (static_cast<double>(value) <= limit) sum += static_cast<double>(value), ++kept;
                out[c][level][o] = static_cast<float>(std::sqrt(sum / static_cast<double>(kept) * scale));
            }
        }
}

// Where the colour channels' finest detail is much quieter than the brightness's and their noise
// smooth, the camera smoothed the colour and left its noise in blotches beyond the
// autocovariance's reach: the colour channels' bands are raised to what the wide windows round the
// bin's flattest blocks measure, up to colourLouder times the brightness's band (the cap keeps
// colour texture in those windows from counting as noise). The flattest blocks are chosen by
// their brightness alone: the colour channels' finest detail is where their blotches meet, so
// choosing by it would keep the blocks whose blotches happen to be alike.
void WidenColour(std::int32_t width, std::int32_t height, const std::uint8_t* const* rows, const BlockGrid& grid,
                 const std::vector<double>& detail, std::vector<int> members, WorkerTeam& team,
                 const float (&autocovariance)[3][noiseSide][noiseSide], float (&band)[3][noiseLevels][3])
{
    const float anchor = band[0][0][2];
    if (!(anchor > 0)) return;
    for (int c = 1; c < 3; ++c)
        if (band[c][0][2] > colourSmoothed * anchor || !SmoothedColour(autocovariance[c])) return;
    KeepFlattest(detail, members);
    float wide[2][noiseLevels][3];
    WideColourBands(width, height, rows, grid, members, team, wide);
    for (int c = 1; c < 3; ++c)
        for (int level = 0; level < noiseLevels; ++level)
            for (int o = 0; o < 3; ++o)
                band[c][level][o] =
                    std::max(band[c][level][o], std::min(wide[c - 1][level][o], colourLouder * band[0][level][o]));
}

// The share of the blocks whose mean R, G and B lie in each step of levels.
void ShareLevels(const std::vector<BlockFigures>& blocks, const std::vector<int>& members,
                 float (&share)[3][levelSteps])
{
    constexpr int stepSum = blockPixels * 256 / levelSteps;  // a step's width in sums over the block
    for (int b : members) {
        const BlockFigures& f = blocks[static_cast<std::size_t>(b)];
        // From r + g + b, r - b and r + b - 2g, whole numbers all.
        const std::int32_t green = (f.brightness - f.colour[1]) / 3, redBlue = f.brightness - green;
        const std::int32_t sums[3] = {(redBlue + f.colour[0]) / 2, green, (redBlue - f.colour[0]) / 2};
        for (int c = 0; c < 3; ++c) share[c][std::min(levelSteps - 1, sums[c] / stepSum)] += 1.0f;
    }
    for (auto& channel : share)
        for (float& s : channel) s /= static_cast<float>(members.size());
}

// The lower median of the counted whole numbers.
int MedianOf(const std::uint32_t* counts, std::uint64_t total)
{
    const std::uint64_t rank = total > 0 ? (total - 1) / 2 : 0;
    std::uint64_t seen = 0;
    for (int value = 0; value < histogramSize; ++value) {
        seen += counts[value];
        if (seen > rank) return value;
    }
    return 0;
}

float SigmaOfMedian(int median, int c)
{
    return (static_cast<float>(median) * stepOf[c]) / 0.6745f;
}

// The median of the counted whole numbers, interpolated within the value that holds it: the
// texture test compares figures a step of the whole numbers apart.
double InterpolatedMedian(const std::uint32_t* counts, std::uint64_t total)
{
    const double half = static_cast<double>(total) / 2;
    std::uint64_t seen = 0;
    for (int value = 0; value < histogramSize; ++value) {
        if (counts[value] > 0 && static_cast<double>(seen + counts[value]) >= half)
            return value - 0.5 + (half - static_cast<double>(seen)) / static_cast<double>(counts[value]);
        seen += counts[value];
    }
    return 0;
}

// Counts |p00 - p01 - p10 + p11| at every position of the block, per channel, into the histograms
// of the block's bin and of its brightness group.
void CountDiagonals(const std::uint8_t* const* rows, int left, int top, Weights& w, std::uint32_t* binCounts,
                    std::uint32_t* groupCounts)
{
    ReadWindow(rows, left, top, w);
    for (int c = 0; c < 3; ++c) {
        const auto& v = w[c];
        std::uint32_t* const bin = binCounts + static_cast<std::size_t>(c) * histogramSize;
        std::uint32_t* const group = groupCounts + static_cast<std::size_t>(c) * histogramSize;
        for (int y = blockReach; y < blockReach + blockSide; ++y)
            for (int x = blockReach; x < blockReach + blockSide; ++x) {
                const int value = std::abs((v[y][x] - v[y][x + 1]) - (v[y + 1][x] - v[y + 1][x + 1]));
                ++bin[value];
                ++group[value];
            }
    }
}

// The finest diagonal figures of brightness groups of the blocks, for the texture test.
struct BrightnessGroups {
    int count = 1;
    std::int64_t members[noiseBinsMax] = {};
    float brightness[noiseBinsMax] = {};  // the mean of R, G and B of the group's blocks
    float finest[noiseBinsMax][3] = {};
    bool clear[noiseBinsMax] = {};  // far enough from black and white for clipping not to quiet it
    int clearCount = 0;
};

// Groups of equal counts of the blocks ranked by brightness (order), and each block's group.
BrightnessGroups GroupBlocks(const std::vector<BlockFigures>& blocks, const std::vector<int>& order,
                             std::vector<int>& groupOf)
{
    const int count = static_cast<int>(blocks.size());
    BrightnessGroups groups;
    groups.count = std::clamp(count / groupBlocks, 1, noiseBinsMax);
    std::int64_t brightness[noiseBinsMax] = {};
    for (int rank = 0; rank < count; ++rank) {
        const std::size_t b = static_cast<std::size_t>(order[static_cast<std::size_t>(rank)]);
        const int g = static_cast<int>(static_cast<std::int64_t>(rank) * groups.count / count);
        groupOf[b] = g;
        ++groups.members[g];
        brightness[g] += blocks[b].brightness;
    }
    for (int g = 0; g < groups.count; ++g)
        groups.brightness[g] = static_cast<float>(static_cast<double>(brightness[g]) /
                                                  (3.0 * blockPixels * static_cast<double>(groups.members[g])));
    return groups;
}

// Marks the groups far enough from black and white, by clipMargin times the noise's figure given
// for each group, for clipping not to quiet their noise.
template <typename FigureOf>
void MarkClear(BrightnessGroups& groups, FigureOf figureOf)
{
    groups.clearCount = 0;
    for (int g = 0; g < groups.count; ++g) {
        const float margin = static_cast<float>(clipMargin) * figureOf(g);
        groups.clear[g] =
            groups.finest[g][0] > 0 && groups.brightness[g] >= margin && groups.brightness[g] <= 255 - margin;
        groups.clearCount += groups.clear[g] ? 1 : 0;
    }
}

// The groups' figures from their histograms (three channels each, one group after another).
void MeasureGroups(const std::uint32_t* counts, BrightnessGroups& groups)
{
    for (int g = 0; g < groups.count; ++g) {
        const std::uint32_t* at = counts + static_cast<std::size_t>(g) * 3 * histogramSize;
        const std::uint64_t values = static_cast<std::uint64_t>(groups.members[g]) * blockPixels;
        for (int c = 0; c < 3; ++c)
            groups.finest[g][c] = static_cast<float>(
                InterpolatedMedian(at + static_cast<std::size_t>(c) * histogramSize, values) * stepOf[c] / 0.6745);
    }
    MarkClear(groups, [&](int g) { return groups.finest[g][0]; });
    // Texture loud enough (ripples of water under weak noise) can leave too few groups clear of
    // black and white by their own figures for the test to run, though the noise itself is far from
    // clipping: the quietest group's figure then bounds the noise's deviation better.
    if (groups.clearCount < fewestClear) {
        float quietest = groups.finest[0][0];
        for (int g = 1; g < groups.count; ++g) quietest = std::min(quietest, groups.finest[g][0]);
        if (quietest > 0) MarkClear(groups, [quietest](int) { return quietest; });
    }
}

// The median of a few figures (sorted in place).
double MedianOfFew(double* values, int n)
{
    std::sort(values, values + n);
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The clear groups' figures of a channel and their brightness, darkest first; their number.
int ClearGroups(const BrightnessGroups& groups, int c, double* figure, double* brightness)
{
    int n = 0;
    for (int g = 0; g < groups.count; ++g)
        if (groups.clear[g]) {
            figure[n] = groups.finest[g][c];
            brightness[n++] = groups.brightness[g];
        }
    return n;
}

// The medians of the first and the last third of n values: the darker and the brighter groups'.
struct Thirds {
    double darker, brighter;
};
Thirds MediansOfThirds(const double* values, int n)
{
    const int third = (n + 2) / 3;
    double part[noiseBinsMax];
    std::copy(values, values + third, part);
    const double darker = MedianOfFew(part, third);
    std::copy(values + n - third, values + n, part);
    return {darker, MedianOfFew(part, third)};
}

// The share of texture in the figures, 0 ... 1 (see riseNone).
double TextureShare(const BrightnessGroups& groups)
{
    double figure[noiseBinsMax], brightness[noiseBinsMax];
    const int n = ClearGroups(groups, 0, figure, brightness);
    if (n < fewestClear) return 0.0;
    const auto [low, high] = MediansOfThirds(figure, n);
    if (!(low > 0)) return 0.0;
    return std::clamp((high / low - riseNone) / (riseFull - riseNone), 0.0, 1.0);
}

// The noise beneath texture that grows with the brightness, from the clear groups' figures of a
// channel (see quadratureGroups), or infinity where the groups do not follow texture of that kind.
double NoiseBeneathTexture(const BrightnessGroups& groups, int c)
{
    double figure[noiseBinsMax], brightness[noiseBinsMax];
    const int n = ClearGroups(groups, c, figure, brightness);
    const double none = std::numeric_limits<double>::infinity();
    if (n < quadratureGroups) return none;
    const auto [low, high] = MediansOfThirds(figure, n);
    const auto [dark, bright] = MediansOfThirds(brightness, n);
    if (!(high > low) || !(bright > dark)) return none;
    const double slope = (high * high - low * low) / (bright * bright - dark * dark);
    const double noise = low * low - slope * dark * dark;
    for (int i = 0; i < n; ++i) {
        const double fitted = std::sqrt(std::max(noise + slope * brightness[i] * brightness[i], 0.0));
        if (!(std::abs(figure[i] / fitted - 1) <= quadratureFit)) return none;
    }
    return std::sqrt(std::max(noise, quadratureFloor * quadratureFloor * low * low));
}

// Where the figures read texture, a bin's figure is held towards the quietest of the clear groups
// no brighter than the bin (noise grows no louder with the brightness), or the noise beneath the
// texture (beneath, one figure for the whole picture) where that is quieter, by the share of texture.
float HeldAnchor(float anchor, int c, float binBrightness, const BrightnessGroups& groups, double texture,
                 double beneath)
{
    float quietest = anchor;
    for (int g = 0; g < groups.count; ++g)
        if (groups.clear[g] && groups.brightness[g] <= binBrightness)
            quietest = std::min(quietest, groups.finest[g][c]);
    quietest = static_cast<float>(std::min<double>(quietest, beneath));
    return anchor + static_cast<float>(texture) * (quietest - anchor);
}

// Under white noise in R, G and B the three channels' figures agree; fine achromatic texture
// (ripples of water, stucco, grass made smaller) raises the brightness's alone. So where the colour
// channels' noise looks white, their louder figure bounds the brightness's: it is lowered towards
// colourBound times that figure, never below brightnessFloor times its own, and never raised. A
// camera's colour noise is no bound: demosaicing, its own colour smoothing and JPEG leave it
// correlated (the second level's diagonal detail 2.4 to 6 times the finest, white noise 1), quieter
// than the brightness's at the finest scale and loud in the coarser ones, so the bound is trusted
// fully up to whiteShapeFull and not at all from whiteShapeNone. It needs colour noise well clear of
// the 8-bit steps (colourLeast: noise added to the brightness alone leaves colour only where a
// channel clips, and rounding's), and a brightness no more than ratioFull (trusted fully) to
// ratioNone times the colour's (texture under white noise reads up to about 2.1 times; noise in
// the brightness alone, clipped in saturated colours, 3.5 times and more).
void BoundBrightnessByColour(const float (&autocovariance)[3][noiseSide][noiseSide], float (&band)[3][noiseLevels][3])
{
    constexpr double colourBound = 1.08, brightnessFloor = 0.6;
    constexpr double whiteShapeFull = 1.15, whiteShapeNone = 1.4;
    constexpr double colourLeast = 2.0, ratioFull = 2.2, ratioNone = 2.8;
    const double anchor = band[0][0][2], colour = std::max(band[1][0][2], band[2][0][2]);
    if (!(colour > colourLeast) || !(anchor > colourBound * colour)) return;
    double steepest = 0;
    for (int c = 1; c < 3; ++c) {
        const double finest = BandVariance(autocovariance[c], 0, 2), second = BandVariance(autocovariance[c], 1, 2);
        if (!(finest > 0)) return;
        steepest = std::max(steepest, std::sqrt(std::max(second, 0.0) / finest));
    }
    const auto ramp = [](double value, double full, double none) {
        return std::clamp((none - value) / (none - full), 0.0, 1.0);
    };
    const double trust = ramp(steepest, whiteShapeFull, whiteShapeNone) * std::min(colour / colourLeast - 1, 1.0) *
                         ramp(anchor / colour, ratioFull, ratioNone);
    const double bound = std::max(colourBound * colour, brightnessFloor * anchor);
    const double factor = 1 - trust * (1 - bound / anchor);
    for (auto& level : band[0])
        for (float& value : level) value = static_cast<float>(value * factor);
}

// Whether at least half the bins bear the mark of a camera's strong noise reduction (see
// smoothedShape). The figures are the sums over the three orientations.
bool StronglySmoothed(const NoiseLevels& noise)
{
    const auto total = [](const float (&orientations)[3]) {
        return static_cast<double>(orientations[0] + orientations[1] + orientations[2]);
    };
    int marked = 0;
    for (int bin = 0; bin < noise.bins; ++bin) {
        const auto& band = noise.band[bin];
        const double finest = total(band[0][0]);
        if (!(finest > 0)) continue;
        const double shape = total(band[0][3]) / finest, colour = total(band[1][0]) / finest;
        const bool usual = shape >= smoothedShape && colour >= smoothedColourLeast;
        const bool steep = shape >= smoothedShapeSteep && colour >= smoothedColourSteep;
        if ((usual || steep) && colour <= smoothedColourMost) ++marked;
    }
    return 2 * marked >= noise.bins;
}

// The white-noise figures of a picture too small for a block: the finest diagonal detail of its
// 2 x 2 blocks.
NoiseLevels SmallPicture(std::int32_t width, std::int32_t height, const std::uint8_t* const* rows)
{
    std::vector<std::uint32_t> counts(3 * histogramSize, 0);
    std::uint64_t total = 0;
    for (std::int32_t y = 0; y + 1 < height; y += 2)
        for (std::int32_t x = 0; x + 1 < width; x += 2, ++total) {
            const std::uint8_t* p[4] = {rows[y] + 3 * x, rows[y] + 3 * x + 3, rows[y + 1] + 3 * x,
                                        rows[y + 1] + 3 * x + 3};
            int weights[4][3];
            for (int i = 0; i < 4; ++i) {
                const int b = p[i][0], g = p[i][1], r = p[i][2];
                weights[i][0] = r + g + b;
                weights[i][1] = r - b;
                weights[i][2] = r + b - 2 * g;
            }
            for (int c = 0; c < 3; ++c)
                ++counts[static_cast<std::size_t>(
                    c * histogramSize + std::abs((weights[0][c] - weights[1][c]) - (weights[2][c] - weights[3][c])))];
        }
    float sigma[3] = {0, 0, 0};
    if (total > 0)
        for (int c = 0; c < 3; ++c)
            sigma[c] = SigmaOfMedian(MedianOf(&counts[static_cast<std::size_t>(c * histogramSize)], total), c);
    return WhiteNoise(sigma);
}

}  // namespace

NoiseLevels WhiteNoise(const float (&sigma)[3])
{
    NoiseLevels noise;
    noise.bins = 1;
    noise.brightness[0] = 128;
    for (int c = 0; c < 3; ++c) {
        noise.sigma[c] = sigma[c];
        for (auto& level : noise.band[0][c])
            for (float& band : level) band = sigma[c];
        noise.autocovariance[0][c][noiseReach][noiseReach] = sigma[c] * sigma[c];
    }
    return noise;
}

NoiseLevels EstimateNoise(std::int32_t width, std::int32_t height, const std::uint8_t* const* rows, WorkerTeam& team)
{
    BlockGrid grid;
    grid.across = std::max(0, (width - 2 * blockReach) / blockSide);
    grid.down = std::max(0, (height - 2 * blockReach) / blockSide);
    const int count = grid.Count();
    if (count == 0) return SmallPicture(width, height, rows);

    std::vector<BlockFigures> blocks(static_cast<std::size_t>(count));
    ParallelFor(team, count, std::max(1, elementsPerChunk / blockPixels), [&](int, int first, int last) {
        Weights w;
        for (int b = first; b < last; ++b)
            blocks[static_cast<std::size_t>(b)] = MeasureBlock(rows, grid.Left(b), grid.Top(b), w);
    });

    // Bins of equal counts by brightness, ties by position.
    std::vector<int> order(static_cast<std::size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        const std::int64_t ba = blocks[static_cast<std::size_t>(a)].brightness,
                           bb = blocks[static_cast<std::size_t>(b)].brightness;
        return ba != bb ? ba < bb : a < b;
    });
    NoiseLevels noise;
    noise.bins = std::clamp(count / blocksPerBin, 1, noiseBinsMax);
    std::vector<int> binOf(static_cast<std::size_t>(count));
    std::vector<std::vector<int>> membersOf(static_cast<std::size_t>(noise.bins));
    const std::vector<double> detail = Detail(blocks, 3), brightnessDetail = Detail(blocks, 1);
    for (int bin = 0; bin < noise.bins; ++bin) {
        const int first = static_cast<int>(static_cast<std::int64_t>(count) * bin / noise.bins);
        const int last = static_cast<int>(static_cast<std::int64_t>(count) * (bin + 1) / noise.bins);
        std::vector<int> members(order.begin() + first, order.begin() + last);
        membersOf[static_cast<std::size_t>(bin)] = members;
        std::int64_t brightness = 0;
        for (int b : members) {
            binOf[static_cast<std::size_t>(b)] = bin;
            brightness += blocks[static_cast<std::size_t>(b)].brightness;
        }
        noise.brightness[bin] = static_cast<float>(static_cast<double>(brightness) /
                                                   (3.0 * blockPixels * static_cast<double>(members.size())));
        ShareLevels(blocks, members, noise.levelShare[bin]);
        KeepFlattest(detail, members);
        for (int c = 0; c < 3; ++c) Autocovariance(blocks, members, c, noise.autocovariance[bin][c]);
        for (int pair = 0; pair < 3; ++pair) CrossCovariance(blocks, members, pair, noise.crossCovariance[bin][pair]);
    }
    std::vector<int> groupOf(static_cast<std::size_t>(count));
    BrightnessGroups groups = GroupBlocks(blocks, order, groupOf);

    // The robust figure of each bin and group and channel, from whole-number counts per thread added up.
    const std::size_t histograms = static_cast<std::size_t>(noise.bins + groups.count) * 3 * histogramSize;
    std::vector<std::vector<std::uint32_t>> perWorker(static_cast<std::size_t>(team.size));
    ParallelFor(team, count, std::max(1, elementsPerChunk / blockPixels), [&](int worker, int first, int last) {
        std::vector<std::uint32_t>& counts = perWorker[static_cast<std::size_t>(worker)];
        if (counts.empty()) counts.assign(histograms, 0);
        Weights w;
        for (int b = first; b < last; ++b) {
            const std::size_t bin = static_cast<std::size_t>(binOf[static_cast<std::size_t>(b)]);
            const std::size_t group = static_cast<std::size_t>(noise.bins + groupOf[static_cast<std::size_t>(b)]);
            CountDiagonals(rows, grid.Left(b), grid.Top(b), w, counts.data() + bin * 3 * histogramSize,
                           counts.data() + group * 3 * histogramSize);
        }
    });
    std::vector<std::uint32_t> counts(histograms, 0);
    for (const std::vector<std::uint32_t>& part : perWorker)
        if (!part.empty())
            for (std::size_t i = 0; i < histograms; ++i) counts[i] += part[i];
    MeasureGroups(counts.data() + static_cast<std::size_t>(noise.bins) * 3 * histogramSize, groups);
    const double texture = TextureShare(groups);
    double beneath[3];
    for (int c = 0; c < 3; ++c) beneath[c] = NoiseBeneathTexture(groups, c);
    std::vector<std::uint32_t> whole(3 * histogramSize, 0);
    // The noise's shape over the levels comes from the camera's processing, much the same at every
    // brightness; texture among a bin's flattest blocks (shadowed ripples of sand, say) makes a band
    // look louder in that bin alone, and a bin near white, where clipping flattens the noise,
    // quieter. So every bin takes the (lower) median of the bins' gains.
    constexpr int bands = noiseLevels * 3;
    double gain[3][bands], binGain[noiseBinsMax][3][bands];
    for (int bin = 0; bin < noise.bins; ++bin)
        Gains(
            noise, bin, bands, [&](int c, int i) { return BandVariance(noise.autocovariance[bin][c], i / 3, i % 3); },
            &binGain[bin][0][0]);
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < bands; ++i) {
            double perBin[noiseBinsMax];
            for (int bin = 0; bin < noise.bins; ++bin) perBin[bin] = binGain[bin][c][i];
            double* const median = perBin + (noise.bins - 1) / 2;
            std::nth_element(perBin, median, perBin + noise.bins);
            gain[c][i] = 1 + (1 - shapeReturn * texture) * (*median - 1);
        }
    for (int bin = 0; bin < noise.bins; ++bin) {
        const std::int64_t members = static_cast<std::int64_t>(count) * (bin + 1) / noise.bins -
                                     static_cast<std::int64_t>(count) * bin / noise.bins;
        const std::uint32_t* at = counts.data() + static_cast<std::size_t>(bin) * 3 * histogramSize;
        for (int c = 0; c < 3; ++c) {
            const std::uint32_t* channel = at + static_cast<std::size_t>(c) * histogramSize;
            for (int v = 0; v < histogramSize; ++v)
                whole[static_cast<std::size_t>(c * histogramSize + v)] += channel[v];
            const float anchor =
                HeldAnchor(SigmaOfMedian(MedianOf(channel, static_cast<std::uint64_t>(members) * blockPixels), c), c,
                           noise.brightness[bin], groups, texture, beneath[c]);
            for (int level = 0; level < noiseLevels; ++level)
                for (int o = 0; o < 3; ++o)
                    noise.band[bin][c][level][o] = static_cast<float>(anchor * gain[c][level * 3 + o]);
        }
        BoundBrightnessByColour(noise.autocovariance[bin], noise.band[bin]);
    }
    const bool smoothed = StronglySmoothed(noise);
    for (int bin = 0; bin < noise.bins; ++bin) {
        if (smoothed)
            for (int level = smoothedFirstLevel; level < noiseLevels; ++level)
                for (float& value : noise.band[bin][0][level]) value *= smoothedRaise;
        WidenColour(width, height, rows, grid, brightnessDetail, membersOf[static_cast<std::size_t>(bin)], team,
                    noise.autocovariance[bin], noise.band[bin]);
    }
    for (int c = 0; c < 3; ++c)
        noise.sigma[c] = SigmaOfMedian(MedianOf(&whole[static_cast<std::size_t>(c * histogramSize)],
                                                static_cast<std::uint64_t>(count) * blockPixels),
                                       c);
    return noise;
}

float BandSigma(const NoiseLevels& noise, int channel, int level, int orientation, float brightness)
{
    const auto at = [&](int bin) { return noise.band[bin][channel][level][orientation]; };
    if (noise.bins <= 1 || brightness <= noise.brightness[0]) return at(0);
    for (int bin = 1; bin < noise.bins; ++bin)
        if (brightness < noise.brightness[bin]) {
            const float low = noise.brightness[bin - 1], high = noise.brightness[bin];
            const float t = high > low ? (brightness - low) / (high - low) : 1.0f;
            return at(bin - 1) + (at(bin) - at(bin - 1)) * t;
        }
    return at(noise.bins - 1);
}

float BandCorrelation(const NoiseLevels& noise, int bin, int pair, int level, int orientation)
{
    const double product = BandVariance(noise.autocovariance[bin][noisePairFirst[pair]], level, orientation) *
                           BandVariance(noise.autocovariance[bin][noisePairSecond[pair]], level, orientation);
    if (!(product > 0)) return 0.0f;
    const double rho = BandVariance(noise.crossCovariance[bin][pair], level, orientation) / std::sqrt(product);
    return static_cast<float>(std::clamp(rho, -1.0, 1.0));
}
