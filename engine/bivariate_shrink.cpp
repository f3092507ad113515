#include "engine/bivariate_shrink.h"

#include <algorithm>
#include <cmath>

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
    for (int x = 0; x < n; ++x) {
        float sum = padded[x];
        for (int k = 1; k < windowSide; ++k) sum += padded[x + k];
        sums[x] = sum;
    }
}
QV_WIDE_LOOP(SquareSumsAlongRow, (const float* row, float* sums, float* padded, int n),
             (row, sums, padded, n))

QV_LOOP_BODY void SumRowsBody(const float* const* rowSums, float* sums, int n)
{
    for (int x = 0; x < n; ++x) sums[x] = rowSums[0][x];
    for (int k = 1; k < windowSide; ++k)
        for (int x = 0; x < n; ++x) sums[x] += rowSums[k][x];
}
QV_WIDE_LOOP(SumRows, (const float* const* rowSums, float* sums, int n), (rowSums, sums, n))

QV_LOOP_BODY void BivariateShrinkRowBody(float* detail, const float* parent, const float* windowSums,
                                          int n, float noiseSigma)
{
    const float noiseVariance = noiseSigma * noiseSigma;
    const float scale = rootThree * noiseVariance;
    for (int x = 0; x < n; ++x) {
        const float signal = std::sqrt(std::max(windowSums[x] * windowMean - noiseVariance, tiny));
        const float threshold = scale / signal;
        const float w1 = detail[x], w2 = parent[x];
        const float r = std::sqrt(w1 * w1 + w2 * w2);
        detail[x] = w1 * (std::max(r - threshold, 0.0f) / std::max(r, tiny));
    }
}
QV_WIDE_LOOP(BivariateShrinkRow,
             (float* detail, const float* parent, const float* windowSums, int n, float noiseSigma),
             (detail, parent, windowSums, n, noiseSigma))
