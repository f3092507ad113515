#pragma once

// The two filters of a group's 3-D transform (patch DCT, then Haar across the group), as in
// block-matching 3-D filtering (Dabov, Foi, Katkovnik and Egiazarian, 2007). A group is count
// patches of patchSize coefficients, patch after patch. noiseVariance[i] is the noise's variance in
// coefficient i of a patch (the same in every patch of the group: their noise is independent).

// Both return the noise variance left in the filtered group (the sum over its coefficients of the
// noise variance times the square of the factor applied), whose inverse weighs the group's patches
// where they overlap others.

// Sets to zero every coefficient whose magnitude is below its threshold (threshold[i] for
// coefficient i of every patch).
float HardThresholdGroup(float* group, int count, const float* threshold, const float* noiseVariance);

// Scales every coefficient of group by the empirical Wiener factor p² / (p² + noiseVariance) of the
// same coefficient p of pilot (the same group taken from a cleaner estimate).
float WienerGroup(float* group, const float* pilot, int count, const float* noiseVariance);
