#pragma once
#include <cstdint>

#include "engine/settings.h"
#include "imagefile/bitmap_header.h"

// Where a picture lies in the square the engine works in: the side is the smallest power of two
// not smaller than the larger side, and the picture is centred, any odd margin row or column
// falling at the higher index.
struct PlaneLayout {
    std::int64_t size = 0;
    std::int64_t rowOffset = 0;
    std::int64_t colOffset = 0;
};
PlaneLayout LayoutFor(std::int32_t width, std::int32_t height);

// Bytes a run holds at once for its three planes (24 bytes per element of the square), so a front
// end can refuse or schedule a picture before starting. Saturates at INT64_MAX for squares whose
// bytes no 64-bit count holds.
std::int64_t ClassicMemoryNeed(std::int32_t width, std::int32_t height);

// The coefficient scale: the planes hold (L* - 50) x 8 / sqrt 2, a* x 8 / sqrt 2 and b* x 8 /
// sqrt 2, so the zero margin stands for a neutral middle grey.
void ScaleIntoPlanes(double rootTwo, double& lStar, double& aStar, double& bStar);
void ScaleOutOfPlanes(double rootTwo, double& lStar, double& aStar, double& bStar);

// The classic run on one picture with the given settings: converts the source rows to L*a*b*,
// transforms, shrinks the coefficients, transforms back and writes the working pixels (never the
// row padding), then measures the result. Not done, with the working pixels untouched, when the
// picture's size is not positive or the memory for its planes cannot be had.
DenoiseOutcome ClassicDenoiseImage(const DenoiseSettings& settings, const DenoiseHooks& hooks,
                                   const BitmapInfoHeader* header, std::uint8_t* bits, const std::uint8_t* const* rows);
