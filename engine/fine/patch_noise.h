#pragma once
#include "engine/fine/noise_estimate.h"
#include "engine/fine/patch_transform.h"

// The measured noise as the self-similarity stage reads it: for each opponent channel and each
// code of brightness (the mean of R, G and B, 0 ... 255, rounded down), the noise's variance in each
// coefficient of a patch's DCT and the hard threshold that follows from it. White noise gives the
// square of the channel's figure in every coefficient; camera noise, whose autocovariance the
// measurement gives, more in the low frequencies where demosaicing and JPEG put it, and more in the
// shadows. A patch's mean (coefficient 0) is not filtered: the stage takes it from the wavelet
// result, so its variance is next to none.
constexpr int patchBrightnessCodes = 256;

struct PatchNoise {
    float sigma[3];   // one figure per channel, scaled like the rest
    bool present[3];  // false: the channel measured no noise and passes unchanged
    float variance[3][patchBrightnessCodes][patchSize];
    float threshold[3][patchBrightnessCodes][patchSize];
    // The covariance of two channels' noise in each coefficient, per pair of channels (brightness
    // and red-blue, brightness and green-magenta, the two colours): zero where the measurement
    // found them uncorrelated, as under white noise in R, G and B.
    float covariance[3][patchBrightnessCodes][patchSize];
    // Whether any coefficient of a brightness code has a covariance: the Wiener pass leaves the
    // cross terms out where none has.
    bool correlated[patchBrightnessCodes];
    // Whether the noise was found white in space at every brightness, as white noise in R, G and B
    // is; a camera's demosaicing always leaves its noise coloured.
    bool white;
};

// strength 1 ... 99 scales the measured deviations by strength / 50.
void MeasuredPatchNoise(const NoiseLevels& noise, int strength, PatchNoise& out);

// The brightness code of a patch whose brightness channel has the given DCT coefficient 0.
int PatchBrightnessCode(float brightnessDc);
