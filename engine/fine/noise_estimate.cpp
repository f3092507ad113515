#include "engine/fine/noise_estimate.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "engine/fine/noise_band_shape.h"
#include "engine/fine/noise_blocks.h"
#include "engine/fine/noise_texture.h"
#include "engine/fine/noise_wide_colour.h"

namespace {

constexpr int blocksPerBin = 200;

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

std::vector<BlockFigures> MeasureBlocks(const std::uint8_t* const* rows, const BlockGrid& grid, WorkerTeam& team)
{
    std::vector<BlockFigures> blocks(static_cast<std::size_t>(grid.Count()));
    ParallelFor(team, grid.Count(), std::max(1, elementsPerChunk / blockPixels), [&](int, int first, int last) {
        Weights w;
        for (int b = first; b < last; ++b)
            blocks[static_cast<std::size_t>(b)] = MeasureBlock(rows, grid.Left(b), grid.Top(b), w);
    });
    return blocks;
}

// The blocks ranked by brightness, ties by position.
std::vector<int> RankByBrightness(const std::vector<BlockFigures>& blocks)
{
    std::vector<int> order(blocks.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        const std::int64_t ba = blocks[static_cast<std::size_t>(a)].brightness,
                           bb = blocks[static_cast<std::size_t>(b)].brightness;
        return ba != bb ? ba < bb : a < b;
    });
    return order;
}

// Puts the ranked blocks into bins of equal counts (binOf, and each bin's members) and measures
// each bin's brightness, levels, and the autocovariance and cross-covariance over its flattest
// blocks.
std::vector<std::vector<int>> MeasureBins(const std::vector<BlockFigures>& blocks, const std::vector<int>& order,
                                          NoiseLevels& noise, std::vector<int>& binOf)
{
    const int count = static_cast<int>(blocks.size());
    noise.bins = std::clamp(count / blocksPerBin, 1, noiseBinsMax);
    std::vector<std::vector<int>> membersOf(static_cast<std::size_t>(noise.bins));
    const std::vector<double> detail = BlockDetail(blocks, 3);
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
    return membersOf;
}

// The histograms of the finest diagonal detail, three channels each, of every bin and then of
// every group: whole-number counts per thread, added up.
std::vector<std::uint32_t> CountFinest(const std::uint8_t* const* rows, const BlockGrid& grid,
                                       const std::vector<int>& binOf, const std::vector<int>& groupOf, int bins,
                                       int groups, WorkerTeam& team)
{
    const std::size_t histograms = static_cast<std::size_t>(bins + groups) * 3 * histogramSize;
    std::vector<std::vector<std::uint32_t>> perWorker(static_cast<std::size_t>(team.size));
    ParallelFor(team, grid.Count(), std::max(1, elementsPerChunk / blockPixels), [&](int worker, int first, int last) {
        std::vector<std::uint32_t>& counts = perWorker[static_cast<std::size_t>(worker)];
        if (counts.empty()) counts.assign(histograms, 0);
        Weights w;
        for (int b = first; b < last; ++b) {
            const std::size_t bin = static_cast<std::size_t>(binOf[static_cast<std::size_t>(b)]);
            const std::size_t group = static_cast<std::size_t>(bins + groupOf[static_cast<std::size_t>(b)]);
            CountDiagonals(rows, grid.Left(b), grid.Top(b), w, counts.data() + bin * 3 * histogramSize,
                           counts.data() + group * 3 * histogramSize);
        }
    });
    std::vector<std::uint32_t> counts(histograms, 0);
    for (const std::vector<std::uint32_t>& part : perWorker)
        if (!part.empty())
            for (std::size_t i = 0; i < histograms; ++i) counts[i] += part[i];
    return counts;
}

// The noise's shape over the levels comes from the camera's processing, much the same at every
// brightness; texture among a bin's flattest blocks (shadowed ripples of sand, say) makes a band
// look louder in that bin alone, and a bin near white, where clipping flattens the noise,
// quieter. So every bin takes the (lower) median of the bins' gains.
void MedianGains(const NoiseLevels& noise, double texture, double (&gain)[3][noiseBands])
{
    double binGain[noiseBinsMax][3][noiseBands];
    for (int bin = 0; bin < noise.bins; ++bin) BandGains(noise, bin, binGain[bin]);
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < noiseBands; ++i) {
            double perBin[noiseBinsMax];
            for (int bin = 0; bin < noise.bins; ++bin) perBin[bin] = binGain[bin][c][i];
            double* const median = perBin + (noise.bins - 1) / 2;
            std::nth_element(perBin, median, perBin + noise.bins);
            gain[c][i] = TexturedGain(*median, texture);
        }
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

    const std::vector<BlockFigures> blocks = MeasureBlocks(rows, grid, team);
    const std::vector<int> order = RankByBrightness(blocks);
    NoiseLevels noise;
    std::vector<int> binOf(static_cast<std::size_t>(count)), groupOf(static_cast<std::size_t>(count));
    const std::vector<std::vector<int>> membersOf = MeasureBins(blocks, order, noise, binOf);
    BrightnessGroups groups = GroupBlocks(blocks, order, groupOf);
    const std::vector<std::uint32_t> counts = CountFinest(rows, grid, binOf, groupOf, noise.bins, groups.count, team);
    MeasureGroups(counts.data() + static_cast<std::size_t>(noise.bins) * 3 * histogramSize, groups);

    const double texture = TextureShare(groups);
    double beneath[3];
    for (int c = 0; c < 3; ++c) beneath[c] = NoiseBeneathTexture(groups, c);
    double gain[3][noiseBands];
    MedianGains(noise, texture, gain);
    std::vector<std::uint32_t> whole(3 * histogramSize, 0);
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
    RaiseStronglySmoothed(noise);
    const std::vector<double> brightnessDetail = BlockDetail(blocks, 1);
    for (int bin = 0; bin < noise.bins; ++bin)
        WidenColour(width, height, rows, grid, brightnessDetail, membersOf[static_cast<std::size_t>(bin)], team,
                    noise.autocovariance[bin], noise.band[bin]);
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
