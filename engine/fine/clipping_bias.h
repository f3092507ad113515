#pragma once
#include "engine/fine/noise_estimate.h"

// Noise that carried a sample below 0 or above 255 was clipped there, so near black and white the
// noisy picture is on average brighter or darker than the scene: a channel at 250 under noise of
// deviation 50 averages about 232, and one at 5 about 23. The filters estimate that average, so
// without a correction the error grows with the noise and with how much of the picture lies near
// the ends, saturated colours above all. The correction takes each R, G and B value of the result
// as the clipped mean of some value under the measured noise, and gives that value (the inverse of
// the clipped mean, as in Foi, "Clipped noisy images: heteroskedastic modeling and practical
// denoising", 2009).

// The table spans the 8-bit range in eighths of a level.
constexpr int clippingSteps = 8;
constexpr int clippingEntries = 255 * clippingSteps + 1;

struct ClippingCorrection {
    float value[3][clippingEntries];  // R, G, B: the value whose clipped mean is entry / clippingSteps
};

// From the measured noise, scaled by strength / 50 below 50 (a weaker filter leaves the result
// nearer the noisy samples); from 50 up as measured: stronger filtering does not make the noise
// itself louder.
void MeasuredClippingCorrection(const NoiseLevels& noise, int strength, ClippingCorrection& out);

// The value whose clipped mean is mean, for R, G or B (channel 0, 1, 2).
inline float UnclippedValue(const ClippingCorrection& correction, int channel, float mean)
{
    const float* table = correction.value[channel];
    const float at = (mean <= 0.0f ? 0.0f : mean >= 255.0f ? 255.0f : mean) * static_cast<float>(clippingSteps);
    const int i = at >= static_cast<float>(clippingEntries - 1) ? clippingEntries - 2 : static_cast<int>(at);
    return table[i] + (table[i + 1] - table[i]) * (at - static_cast<float>(i));
}
