#pragma once
#include "engine/fine/noise_estimate.h"

// The noise's shape over the wavelet levels: what its autocovariance says of each band, and the
// camera processing that the autocovariance's few pixels cannot see.

// The variance of a band of the undecimated Haar transform (orthonormal filters) of noise with
// autocovariance r.
double BandVariance(const float (&r)[noiseSide][noiseSide], int level, int orientation);

// Whether a colour channel's noise was smoothed by the camera (its autocovariance makes the second
// level's diagonal detail clearly louder than the finest), which leaves it in blotches wider than
// the autocovariance's reach.
bool SmoothedColour(const float (&r)[noiseSide][noiseSide]);

constexpr int noiseBands = noiseLevels * 3;  // a level's three orientations, finest level first

// How many times louder than the finest diagonal detail the noise of each band is taken to be, per
// channel, from the bands' variances under the bin's autocovariance: the ratio of deviations less
// a dead zone, and only where every channel's is clearly above 1.
// A colour channel the camera smoothed reads its coarser levels low: its noise there is correlated
// beyond the autocovariance's reach, which then makes them no louder than its finest and would
// leave every channel's coarse bands at white noise's figure, the brightness's too (on the camera
// model with strong colour smoothing, a quarter of its true noise there). From the third level on,
// such a channel still agrees where it found the finer level louder.
void BandGains(const NoiseLevels& noise, int bin, double (&gain)[3][noiseBands]);

// Where at least half the bins bear the mark of a camera's strong noise reduction, raises the
// brightness's coarse levels by what a measured figure lacks there.
void RaiseStronglySmoothed(NoiseLevels& noise);
