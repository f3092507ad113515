#include "engine/fine/noise_estimate.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/fine/opponent_colour.h"
#include "engine/parallel_for.h"

namespace {

// The diagonal detail of a 2 x 2 block, (p00 - p01 - p10 + p11) / 2, is for each channel a whole
// number times a fixed step: the step is half the channel's basis scale (1/sqrt 3, 1/sqrt 2,
// 1/sqrt 6), the whole number a sum of the block's samples with small integer weights.
constexpr float stepOf[3] = {opponentY / 2, opponentC1 / 2, opponentC2 / 2};
constexpr int histogramSize = 4 * 510 + 1;  // the largest whole number: four samples of 2 x 255

using Histograms = std::array<std::vector<std::uint64_t>, 3>;

// The three channels' whole-number weights of one pixel (B, G, R in memory order).
void Weights(const std::uint8_t* pixel, int& y, int& c1, int& c2)
{
    const int b = pixel[0], g = pixel[1], r = pixel[2];
    y = r + g + b;
    c1 = r - b;
    c2 = r + b - 2 * g;
}

// Counts |p00 - p01 - p10 + p11| of each block of the row pair whose top row is `top`.
void CountRowPair(const std::uint8_t* top, const std::uint8_t* bottom, std::int32_t width,
                  Histograms& counts)
{
    for (std::int32_t x = 0; x + 1 < width; x += 2) {
        int a[3], b[3], c[3], d[3];
        Weights(top + 3 * x, a[0], a[1], a[2]);
        Weights(top + 3 * x + 3, b[0], b[1], b[2]);
        Weights(bottom + 3 * x, c[0], c[1], c[2]);
        Weights(bottom + 3 * x + 3, d[0], d[1], d[2]);
        for (int k = 0; k < 3; ++k) ++counts[k][std::abs((a[k] - b[k]) - (c[k] - d[k]))];
    }
}

// The lower median of the counted whole numbers.
int MedianOf(const std::vector<std::uint64_t>& counts, std::uint64_t total)
{
    const std::uint64_t rank = (total - 1) / 2;
    std::uint64_t seen = 0;
    for (int value = 0; value < static_cast<int>(counts.size()); ++value) {
        seen += counts[value];
        if (seen > rank) return value;
    }
    return 0;
}

}  // namespace

NoiseLevels EstimateNoise(std::int32_t width, std::int32_t height, const std::uint8_t* const* rows,
                          WorkerTeam& team)
{
    NoiseLevels levels;
    const std::int32_t pairs = height / 2;
    if (width < 2 || pairs < 1) return levels;
    const int workers = team.size;
    std::vector<Histograms> perWorker(static_cast<std::size_t>(workers));
    for (Histograms& counts : perWorker)
        for (int k = 0; k < 3; ++k) counts[k].assign(histogramSize, 0);
    // Whole-number counts add up to the same totals whichever thread counted which rows.
    ParallelFor(team, pairs, RowsPerChunk(2 * width), [&](int worker, int first, int last) {
        for (int pair = first; pair < last; ++pair)
            CountRowPair(rows[2 * pair], rows[2 * pair + 1], width, perWorker[worker]);
    });
    const std::uint64_t blocks = static_cast<std::uint64_t>(width / 2) * static_cast<std::uint64_t>(pairs);
    for (int k = 0; k < 3; ++k) {
        for (int w = 1; w < workers; ++w)
            for (int v = 0; v < histogramSize; ++v) perWorker[0][k][v] += perWorker[w][k][v];
        const int median = MedianOf(perWorker[0][k], blocks);
        levels.sigma[k] = (static_cast<float>(median) * stepOf[k]) / 0.6745f;
    }
    return levels;
}
