#include "engine/fine/collaborative_filter.h"

#include <cmath>

#include "engine/fine/eight_floats.h"
#include "engine/fine/patch_transform.h"
#include "engine/wide_loops.h"

namespace {

// Coefficient i's sums are kept apart and added in the order of i at the end, so the loops run
// several coefficients at once and still add in one fixed order.
QV_LOOP_BODY float Total(const float* sumAt)
{
    float total = 0.0f;
    for (int i = 0; i < patchSize; ++i) total = total + sumAt[i];
    return total;
}

using EightInts = int __attribute__((vector_size(32)));

QV_LOOP_BODY void ThresholdBody(float* group, int count, const float* threshold, const float* noiseVariance,
                                float* left)
{
    EightFloats sumAt[patchSide] = {};
    for (int g = 0; g < count; ++g) {
        float* patch = group + g * patchSize;
        for (int k = 0; k < patchSide; ++k) {
            const EightFloats value = LoadEight(patch + k * patchSide);
            const EightFloats magnitude = (EightFloats)((EightInts)value & 0x7fffffff);
            const EightInts keep = magnitude >= LoadEight(threshold + k * patchSide);
            StoreEight(patch + k * patchSide, (EightFloats)((EightInts)value & keep));
            sumAt[k] = sumAt[k] + (EightFloats)((EightInts)LoadEight(noiseVariance + k * patchSide) & keep);
        }
    }
    float at[patchSize];
    for (int k = 0; k < patchSide; ++k) StoreEight(at + k * patchSide, sumAt[k]);
    *left = Total(at);
}
QV_WIDE_LOOP(Threshold, (float* group, int count, const float* threshold, const float* noiseVariance, float* left),
             (group, count, threshold, noiseVariance, left))

QV_LOOP_BODY void WienerBody(float* group, const float* pilot, int count, const float* noiseVariance, float* left)
{
    float sumAt[patchSize] = {};
    for (int g = 0; g < count; ++g) {
        float* patch = group + g * patchSize;
        const float* estimate = pilot + g * patchSize;
        for (int i = 0; i < patchSize; ++i) {
            const float power = estimate[i] * estimate[i];
            const float factor = power / (power + noiseVariance[i]);
            patch[i] = patch[i] * factor;
            sumAt[i] = sumAt[i] + (factor * factor) * noiseVariance[i];
        }
    }
    *left = Total(sumAt);
}
QV_WIDE_LOOP(Wiener, (float* group, const float* pilot, int count, const float* noiseVariance, float* left),
             (group, pilot, count, noiseVariance, left))

}  // namespace

float HardThresholdGroup(float* group, int count, const float* threshold, const float* noiseVariance)
{
    float left = 0.0f;
    Threshold(group, count, threshold, noiseVariance, &left);
    return left;
}

float WienerGroup(float* group, const float* pilot, int count, const float* noiseVariance)
{
    float left = 0.0f;
    Wiener(group, pilot, count, noiseVariance, &left);
    return left;
}
