#include "engine/fine/noise_wide_colour.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "engine/fine/mirror.h"
#include "engine/fine/noise_band_shape.h"

namespace {

// A camera that keeps colour at a lower resolution than brightness (JPEG's 4:2:0, or its own
// colour smoothing) or quantises it more coarsely (JPEG at full colour resolution) leaves the
// colour channels' finest detail quieter than the brightness's, and their noise in blotches of 8
// to 16 pixels that the autocovariance's few pixels cannot see. Where both colour channels' finest
// figure is at most colourSmoothed times the brightness's (demosaicing alone: 1 and more in the
// green-magenta channel; JPEG: 0.1 to 0.7), and their noise is smooth (SmoothedColour), their
// bands are measured directly over wide windows round the flattest blocks. A sensor's colour
// matrix makes its colour noise louder than its brightness noise, so those bands may exceed the
// brightness's, up to colourLouder times.
constexpr double colourSmoothed = 0.75;
constexpr float colourLouder = 1.5f;
constexpr double wideOutlier = 3.0;
constexpr int wideBorder = 8;  // the window: the block and this much round it
constexpr int wideSide = blockSide + 2 * wideBorder;
constexpr int wideReach = 1 << (noiseLevels - 1);  // the coarsest filter's half, either way
constexpr int wideRegion = wideSide + 2 * wideReach;

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

}  // namespace

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
