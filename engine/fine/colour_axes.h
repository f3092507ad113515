#pragma once

// A group's own colour axes. The opponent channels separate brightness from colour, which
// decorrelates the signal of natural pictures on average; within one group of a saturated picture
// (a red flower's edge) the colour channels carry the same edges as the brightness, and each
// channel's Wiener factors keep a share of noise there. Rotated into the principal axes of the
// group's signal, the edge lies in one axis and the other two hold mostly noise. The rotation is
// orthonormal, so white noise stays white, and it is found with + - * / and square roots alone
// (the same bits in every build).

struct ColourAxes {
    // axis[k] is a unit vector over the three opponent channels; axis 0 holds the most signal.
    float axis[3][3];
};

// The principal axes of a group's signal in the three channels of pilot (count patches of
// coefficients each, after the transform across the group): from the channels' covariance over
// every coefficient but the patches' means.
ColourAxes GroupColourAxes(const float* const* pilot, int count);
