#include "engine/fine/collaborative_filter.h"

#include <cmath>

#include "engine/fine/eight_floats.h"
#include "engine/fine/large_patch_transform.h"
#include "engine/fine/patch_transform.h"
#include "engine/wide_loops.h"

namespace {

// Coefficient i's sums are kept apart and added in the order of i at the end, so the loops run
// several coefficients at once and still add in one fixed order.
QV_LOOP_BODY float Total(const float* sumAt, int size = patchSize)
{
    float total = 0.0f;
    for (int i = 0; i < size; ++i) total = total + sumAt[i];
    return total;
}

using EightInts = int __attribute__((vector_size(32)));

// The least share of the noise the channels would give along an axis if independent that the
// axis is given.
constexpr float leastShare = 0.1f;

// Eight coefficients at a time; size is a multiple of eight, at most largePatchSize.
QV_LOOP_BODY void ThresholdBody(float* group, int count, int size, const float* threshold, const float* noiseVariance,
                                float* left)
{
    constexpr int mostChunks = largePatchSize / 8;
    const int chunks = size / 8;
    EightFloats sumAt[mostChunks] = {};
    for (int g = 0; g < count; ++g) {
        float* patch = group + g * size;
        for (int k = 0; k < chunks; ++k) {
            const EightFloats value = LoadEight(patch + k * 8);
            const EightFloats magnitude = (EightFloats)((EightInts)value & 0x7fffffff);
            const EightInts keep = magnitude >= LoadEight(threshold + k * 8);
            StoreEight(patch + k * 8, (EightFloats)((EightInts)value & keep));
            sumAt[k] = sumAt[k] + (EightFloats)((EightInts)LoadEight(noiseVariance + k * 8) & keep);
        }
    }
    float at[largePatchSize];
    for (int k = 0; k < chunks; ++k) StoreEight(at + k * 8, sumAt[k]);
    *left = Total(at, size);
}
QV_WIDE_LOOP(Threshold,
             (float* group, int count, int size, const float* threshold, const float* noiseVariance, float* left),
             (group, count, size, threshold, noiseVariance, left))

QV_LOOP_BODY void WienerBody(float* const* group, const float* const* pilot, int count, const ColourAxes& axes,
                             const float* const* noiseVariance, const float* const* noiseCovariance, float* left)
{
    // Eight coefficients of every patch at a time, so that their noise figures and sums stay in
    // registers.
    constexpr int chunks = patchSize / 8;
    EightFloats a[3][3];
    for (int k = 0; k < 3; ++k)
        for (int c = 0; c < 3; ++c) a[k][c] = SplatEight(axes.axis[k][c]);
    float sumAt[3][patchSize];
    for (int j = 0; j < chunks; ++j) {
        const EightFloats v0 = LoadEight(noiseVariance[0] + 8 * j), v1 = LoadEight(noiseVariance[1] + 8 * j),
                          v2 = LoadEight(noiseVariance[2] + 8 * j);
        EightFloats variance[3], sum[3] = {};
        for (int k = 0; k < 3; ++k)
            variance[k] = (a[k][0] * a[k][0] * v0 + a[k][1] * a[k][1] * v1) + a[k][2] * a[k][2] * v2;
        if (noiseCovariance) {
            const EightFloats c01 = LoadEight(noiseCovariance[0] + 8 * j),
                              c02 = LoadEight(noiseCovariance[1] + 8 * j),
                              c12 = LoadEight(noiseCovariance[2] + 8 * j);
            for (int k = 0; k < 3; ++k) {
                // The axis's noise is a' C a; the channels' correlations move it either way, and a
                // floor keeps correlations measured a little inconsistently from leaving an axis
                // noiseless.
                const EightFloats independent = variance[k];
                const EightFloats shared =
                    (a[k][0] * a[k][1] * c01 + a[k][0] * a[k][2] * c02) + a[k][1] * a[k][2] * c12;
                const EightFloats total = independent + (shared + shared);
                const EightFloats floor = independent * leastShare;
                variance[k] = total > floor ? total : floor;
            }
        }
        for (int g = 0; g < count; ++g) {
            const int at = g * patchSize + 8 * j;
            const EightFloats x0 = LoadEight(group[0] + at), x1 = LoadEight(group[1] + at),
                              x2 = LoadEight(group[2] + at);
            const EightFloats p0 = LoadEight(pilot[0] + at), p1 = LoadEight(pilot[1] + at),
                              p2 = LoadEight(pilot[2] + at);
            EightFloats y[3];
            for (int k = 0; k < 3; ++k) {
                const EightFloats estimate = (a[k][0] * p0 + a[k][1] * p1) + a[k][2] * p2;
                const EightFloats power = estimate * estimate;
                const EightFloats factor = power / (power + variance[k]);
                y[k] = ((a[k][0] * x0 + a[k][1] * x1) + a[k][2] * x2) * factor;
                sum[k] = sum[k] + (factor * factor) * variance[k];
            }
            for (int c = 0; c < 3; ++c) StoreEight(group[c] + at, (a[0][c] * y[0] + a[1][c] * y[1]) + a[2][c] * y[2]);
        }
        for (int k = 0; k < 3; ++k) StoreEight(sumAt[k] + 8 * j, sum[k]);
    }
    for (int k = 0; k < 3; ++k) left[k] = Total(sumAt[k]);
}
QV_WIDE_LOOP(Wiener,
             (float* const* group, const float* const* pilot, int count, const ColourAxes& axes,
              const float* const* noiseVariance, const float* const* noiseCovariance, float* left),
             (group, pilot, count, axes, noiseVariance, noiseCovariance, left))

}  // namespace

float HardThresholdGroup(float* group, int count, int size, const float* threshold, const float* noiseVariance)
{
    float left = 0.0f;
    Threshold(group, count, size, threshold, noiseVariance, &left);
    return left;
}

void WienerGroup(float* const* group, const float* const* pilot, int count, const ColourAxes& axes,
                 const float* const* noiseVariance, const float* const* noiseCovariance, float* left)
{
    Wiener(group, pilot, count, axes, noiseVariance, noiseCovariance, left);
}
