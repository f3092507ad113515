#pragma once
#include <cstdint>

#include "engine/classic/coefficient_plane.h"
#include "engine/classic/coefficient_support.h"
#include "engine/parallel_for.h"
#include "engine/settings.h"

// Noise removal in the wavelet domain on the three planes L, a, b of one picture (size x size, in
// the transposed state the forward transform leaves). Each plane is measured on its own; width and
// height are the picture's, whose pixel count every mean divides by. The settings give the
// strength and the brightness correction; the stages run on the call's team. A run reports
// progress between the groups, so each group is its own call; ShrinkCoefficients runs them all
// on a team of the settings' threads. The groups read and change only the given support (see
// coefficient_support.h): everywhere else the planes must hold zeros.

// Clears every coefficient not strictly larger in magnitude than both the mean-based threshold of
// the coarsest block and that of the finest block.
void ShrinkStage1(WorkerTeam& team, CoefficientPlane& planeL, CoefficientPlane& planeA, CoefficientPlane& planeB,
                  std::int32_t size, int coarseSize, std::int32_t width, std::int32_t height,
                  const CoefficientSupport& support);

// Soft threshold scaled by filterStrength; then, with brightnessCorrection, the L plane is scaled
// up by the square root of its magnitude lost to the threshold.
void ShrinkStages2And3(WorkerTeam& team, const DenoiseSettings& settings, CoefficientPlane& planeL,
                       CoefficientPlane& planeA, CoefficientPlane& planeB, std::int32_t size, int coarseSize,
                       std::int32_t width, std::int32_t height, const CoefficientSupport& support);

// Quantises every coefficient towards zero to a whole multiple of a step measured on the plane.
void ShrinkStage4(WorkerTeam& team, CoefficientPlane& planeL, CoefficientPlane& planeA, CoefficientPlane& planeB,
                  std::int32_t size, int coarseSize, std::int32_t width, std::int32_t height,
                  const CoefficientSupport& support);

void ShrinkCoefficients(const DenoiseSettings& settings, CoefficientPlane& planeL, CoefficientPlane& planeA,
                        CoefficientPlane& planeB, std::int32_t size, int coarseSize, std::int32_t width,
                        std::int32_t height);
