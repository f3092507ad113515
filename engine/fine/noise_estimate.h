#pragma once
#include <cstdint>

#include "engine/parallel_for.h"

// The noise level of each opponent channel (brightness, red-blue, green-magenta), measured on the
// picture itself: the median magnitude of the finest diagonal Haar detail, over 0.6745, is the
// standard deviation of white Gaussian noise and is hardly moved by edges and texture, which make
// up few of those coefficients (Donoho and Johnstone, 1994).
//
// The details are taken from the 2 x 2 blocks of 8-bit BGR rows, where each is a whole multiple of
// a fixed step, so the median comes exactly from counts of whole numbers: no sorting, the same
// figure for any number of threads and in every build. A picture narrower or lower than 2 pixels
// measures 0.
struct NoiseLevels {
    float sigma[3] = {0, 0, 0};
};

NoiseLevels EstimateNoise(std::int32_t width, std::int32_t height, const std::uint8_t* const* rows,
                          WorkerTeam& team);
