#pragma once
#include "engine/fine/colour_axes.h"

// The two filters of a group's 3-D transform (patch DCT, then Haar across the group), as in
// block-matching 3-D filtering (Dabov, Foi, Katkovnik and Egiazarian, 2007). A group is count
// patches of patchSize coefficients, patch after patch. noiseVariance[i] is the noise's variance in
// coefficient i of a patch (the same in every patch of the group: their noise is independent).
// Both give the noise variance left in the filtered group (the sum over its coefficients of the
// noise variance times the square of the factor applied), whose inverse weighs the group's patches
// where they overlap others.

// Sets to zero every coefficient whose magnitude is below its threshold (threshold[i] for
// coefficient i of every patch); here a patch is size coefficients (patchSize or largePatchSize).
// Returns the noise left.
float HardThresholdGroup(float* group, int count, int size, const float* threshold, const float* noiseVariance);

// The three channels' groups (group[c], and pilot[c] the same groups taken from a cleaner
// estimate) turned into the colour axes, each coefficient p of an axis's pilot giving the empirical
// Wiener factor p² / (p² + v) to the same coefficient of the axis's group, and turned back. v is
// the channels' noise along the axis, a' C a with C the channels' noise covariance in coefficient
// i: noiseVariance[c][i] on its diagonal, noiseCovariance[pair][i] off it (pairs 01, 02, 12; null
// where the channels' noise is uncorrelated).
// left[k] receives the noise left in axis k.
void WienerGroup(float* const* group, const float* const* pilot, int count, const ColourAxes& axes,
                 const float* const* noiseVariance, const float* const* noiseCovariance, float* left);
