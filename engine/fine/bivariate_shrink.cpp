#include "engine/fine/bivariate_shrink.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/wide_loops.h"

namespace {

constexpr float windowMean = 1.0f / (windowSide * windowSide);
constexpr float rootThree = 1.7320508f;
// Stands in for zero under a square root or a quotient, far above the subnormal floats.
constexpr float tiny = 1e-30f;

}  // namespace

QV_LOOP_BODY void SquareSumsAlongRowBody(const float* row, float* sums, float* padded, int n)
{
    for (int x = 0; x < n; ++x) padded[windowReach + x] = row[x] * row[x];
    for (int k = 0; k < windowReach; ++k) {
        padded[k] = padded[n + k];
        padded[windowReach + n + k] = padded[windowReach + k];
    }
    static_assert(windowSide == 9, "the sums below name their nine terms");
    const float* p = padded;
    for (int x = 0; x < n; ++x)
        sums[x] = (((((((p[x] + p[x + 1]) + p[x + 2]) + p[x + 3]) + p[x + 4]) + p[x + 5]) + p[x + 6]) + p[x + 7]) + p[x + 8];
}
QV_WIDE_LOOP(SquareSumsAlongRow, (const float* row, float* sums, float* padded, int n),
             (row, sums, padded, n))

// The row written is never one read (restrict), so the loop needs no run-time overlap checks, which
// the compiler would give up on for this many rows.
QV_LOOP_BODY void BivariateShrinkRowBody(float* __restrict detail, const float* parent, const float* const* rowSums,
                                         int n, const std::uint8_t* codes, const float* noiseVariance,
                                         const float* parentScale)
{
    const float* const* s = rowSums;
    for (int x = 0; x < n; ++x) {
        const int code = codes[x];
        const float variance = noiseVariance[code];
        const float window = (((((((s[0][x] + s[1][x]) + s[2][x]) + s[3][x]) + s[4][x]) + s[5][x]) + s[6][x]) + s[7][x]) + s[8][x];
        const float signal = std::sqrt(std::max(window * windowMean - variance, tiny));
        const float threshold = (rootThree * variance) / signal;
        const float w1 = detail[x], w2 = parent[x] * parentScale[code];
        const float r = std::sqrt(w1 * w1 + w2 * w2);
        detail[x] = w1 * (std::max(r - threshold, 0.0f) / std::max(r, tiny));
    }
}
QV_WIDE_LOOP(BivariateShrinkRow,
             (float* detail, const float* parent, const float* const* rowSums, int n, const std::uint8_t* codes,
              const float* noiseVariance, const float* parentScale),
             (detail, parent, rowSums, n, codes, noiseVariance, parentScale))
