#include "engine/fine/noise_blocks.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/wide_loops.h"

namespace {

constexpr int flattestPercent = 10;

// The weights of the block's pixels and of blockReach pixels around them.
QV_LOOP_BODY void ReadWindow(const std::uint8_t* const* rows, int left, int top, Weights& w)
{
    for (int y = 0; y < blockWindowSide; ++y) {
        const std::uint8_t* pixel = rows[top - blockReach + y] + 3 * (left - blockReach);
        for (int x = 0; x < blockWindowSide; ++x, pixel += 3) {
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

// The covariance of two channels' noise (a channel and itself: its autocovariance) at every lag,
// from the sums over the flattest blocks of the products of their second differences (secondOf)
// and of their differences at each lag (lagOf); scale turns a product of the two channels'
// whole-number weights into their units (varianceScale for one channel). A second difference at
// secondLag has variance 6 R(0) (two directions summed: 12 R(0)); a first difference at lag h has
// twice R(0) - R(h).
template <class SecondOf, class LagOf>
void CovarianceFromSums(const std::vector<BlockFigures>& blocks, const std::vector<int>& flattest, double scale,
                        SecondOf secondOf, LagOf lagOf, float (&r)[noiseSide][noiseSide])
{
    std::int64_t second = 0, lagSums[lagCount] = {};
    for (int b : flattest) {
        const BlockFigures& f = blocks[static_cast<std::size_t>(b)];
        second += secondOf(f);
        for (int k = 0; k < lagCount; ++k) lagSums[k] += lagOf(f, k);
    }
    const double pixels = static_cast<double>(flattest.size()) * blockPixels;
    const double covariance = static_cast<double>(second) / (12 * pixels) * scale;
    r[noiseReach][noiseReach] = static_cast<float>(covariance);
    for (int k = 0; k < lagCount; ++k) {
        const double halfProduct = static_cast<double>(lagSums[k]) / (2 * pixels) * scale;
        const float value = static_cast<float>(covariance - halfProduct);
        r[noiseReach + lags[k].dy][noiseReach + lags[k].dx] = value;
        r[noiseReach - lags[k].dy][noiseReach - lags[k].dx] = value;
    }
}

}  // namespace

BlockFigures MeasureBlock(const std::uint8_t* const* rows, int left, int top, Weights& w)
{
    BlockFigures figures;
    MeasureBlockInto(rows, left, top, w, figures);
    return figures;
}

std::vector<double> BlockDetail(const std::vector<BlockFigures>& blocks, int channels)
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

void KeepFlattest(const std::vector<double>& detail, std::vector<int>& members)
{
    std::sort(members.begin(), members.end(), [&](int a, int b) {
        const double da = detail[static_cast<std::size_t>(a)], db = detail[static_cast<std::size_t>(b)];
        return da != db ? da < db : a < b;
    });
    members.resize(std::max<std::size_t>(1, (members.size() * flattestPercent + 50) / 100));
}

void Autocovariance(const std::vector<BlockFigures>& blocks, const std::vector<int>& flattest, int c,
                    float (&r)[noiseSide][noiseSide])
{
    CovarianceFromSums(
        blocks, flattest, varianceScale[c], [c](const BlockFigures& f) { return f.second[c]; },
        [c](const BlockFigures& f, int k) { return f.lag[c][k]; }, r);
}

void CrossCovariance(const std::vector<BlockFigures>& blocks, const std::vector<int>& flattest, int pair,
                     float (&r)[noiseSide][noiseSide])
{
    CovarianceFromSums(
        blocks, flattest, std::sqrt(varianceScale[noisePairFirst[pair]] * varianceScale[noisePairSecond[pair]]),
        [pair](const BlockFigures& f) { return f.crossSecond[pair]; },
        [pair](const BlockFigures& f, int k) { return f.crossLag[pair][k]; }, r);
}

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
