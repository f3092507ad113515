#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/fine/bivariate_shrink.h"
#include "engine/fine/fine_tile.h"
#include "engine/fine/noise_estimate.h"
#include "engine/fine/undecimated_haar.h"
#include "engine/parallel_for.h"

// Analysis and synthesis of every level give the row back, along a row and down a column (row
// pairs), the wrapped ends included.
TEST(FineKernels, UndecimatedHaarReconstructs)
{
    constexpr int n = 37;
    std::vector<float> row(n), low(n), high(n), back(n);
    std::uint32_t state = 99;
    for (float& value : row) {
        state = state * 1664525u + 1013904223u;
        value = static_cast<float>(state >> 24);
    }
    for (int step : {1, 2, 4, 8, 16}) {
        AnalyseRow(row.data(), low.data(), high.data(), n, step);
        SynthesiseRow(low.data(), high.data(), back.data(), n, step);
        for (int i = 0; i < n; ++i) ASSERT_NEAR(back[i], row[i], 1e-4) << step << ' ' << i;
    }
    // A column of n samples three wide; rows y and y + step analysed, rows y and y - step synthesised.
    constexpr int width = 3;
    std::vector<float> lows(n * width), highs(n * width), column(width);
    const auto rowAt = [&](int y) { return row.data() + (y % (n - width + 1)); };
    for (int step : {1, 4}) {
        for (int y = 0; y < n; ++y)
            AnalyseRowPair(rowAt(y), rowAt((y + step) % n), &lows[y * width], &highs[y * width], width);
        for (int y = 0; y < n; ++y) {
            const int before = (y - step + n) % n;
            SynthesiseRowPair(&lows[y * width], &highs[y * width], &lows[before * width], &highs[before * width],
                              column.data(), width);
            for (int x = 0; x < width; ++x) ASSERT_NEAR(column[x], rowAt(y)[x], 1e-4) << step << ' ' << y;
        }
    }
}

// A red checkerboard of amplitude 5 on grey: every block's diagonal detail is 4 x 5 whole
// samples, which each channel weighs by half its basis scale, and the median over 0.6745 is the
// figure, whatever the number of threads.
TEST(FineKernels, NoiseOfACheckerboard)
{
    constexpr int width = 40, height = 30;
    std::vector<std::uint8_t> pixels(3 * width * height);
    std::vector<const std::uint8_t*> rows(height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* pixel = &pixels[3 * (y * width + x)];
            pixel[0] = pixel[1] = 128;
            pixel[2] = static_cast<std::uint8_t>((x + y) % 2 ? 123 : 133);
        }
        rows[y] = &pixels[3 * y * width];
    }
    const double expected[3] = {20 / (2 * std::sqrt(3.0)) / 0.6745, 20 / (2 * std::sqrt(2.0)) / 0.6745,
                                20 / (2 * std::sqrt(6.0)) / 0.6745};
    for (int threads : {1, 3}) {
        WorkerTeam team(threads);
        const NoiseLevels levels = EstimateNoise(width, height, rows.data(), team);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(levels.sigma[k], expected[k], 1e-4 * expected[k]) << k;
    }
}

// Where the window holds no more than the noise (a flat part) every detail goes; where it holds
// far more, a detail loses only sqrt 3 noise² over the window's signal of its magnitude.
TEST(FineKernels, BivariateShrinkageOfFlatAndStrongWindows)
{
    constexpr int n = 16;
    const auto shrink = [](float value, float noise) {
        std::vector<float> detail(n, value), parent(n, 0.0f), sums(n), padded(n + 2 * windowReach);
        const std::vector<std::uint8_t> codes(n, 7);
        std::vector<float> variance(brightnessCodes, 0.0f), parentScale(brightnessCodes, 0.0f);
        variance[7] = noise * noise;
        parentScale[7] = 1.0f;
        SquareSumsAlongRow(detail.data(), sums.data(), padded.data(), n);
        const float* window[windowSide];
        for (const float*& row : window) row = sums.data();
        BivariateShrinkRow(detail.data(), parent.data(), window, n, codes.data(), variance.data(), parentScale.data());
        return detail;
    };
    for (float value : shrink(2.0f, 4.0f)) EXPECT_EQ(value, 0.0f);
    const double signal = std::sqrt(100.0 * 100.0 - 1.0);
    for (float value : shrink(100.0f, 1.0f)) EXPECT_NEAR(value, 100.0 - std::sqrt(3.0) / signal, 1e-3);
}
