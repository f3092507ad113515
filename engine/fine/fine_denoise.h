#pragma once
#include <cstdint>

#include "engine/settings.h"
#include "imagefile/bitmap_header.h"

// The adaptive denoiser, the second method beside the classic pipeline. It measures each channel's
// noise on the picture itself, per brightness, wavelet level and orientation (noise_estimate.h), so
// it needs no noise level from the user: the strength scales what it measured, 50 taking it as it
// is. It works in an orthonormal opponent colour space (brightness
// and two colour axes) with a translation-invariant wavelet transform and locally adaptive
// bivariate shrinkage, whose result then guides a second stage that filters groups of alike
// patches together (engine/fine/similarity_stage.h). It runs in overlapping tiles so its memory
// stays below the classic run's for the same picture. Each tile keeps only the part its margin
// makes exact (the picture mirrored at its edges for the wavelets, the stage's patches inside the
// picture), so the result depends neither on the tiling nor on the number of threads nor on the
// build. The classic-only settings are not read.

// The whole picture: measures the noise (unless the settings carry it), reads the source rows,
// writes the working pixels (never the row padding) and measures the result.
DenoiseOutcome FineDenoiseImage(const DenoiseSettings& settings, const DenoiseHooks& hooks,
                                const BitmapInfoHeader* header, std::uint8_t* bits, const std::uint8_t* const* rows);

// One area of the picture, in its context: writes area.height rows of 3 x area.width bytes to out,
// outStride bytes apart, the same bytes the whole picture's run writes there. The noise is the whole
// picture's (the settings' or measured here); the outcome carries no figures.
DenoiseOutcome FineDenoiseArea(const DenoiseSettings& settings, const BitmapInfoHeader* header,
                               const std::uint8_t* const* rows, const PictureArea& area, std::uint8_t* out,
                               std::int64_t outStride);

// Bytes a run on an area of this size holds at once besides the picture, for the threads asked
// for. The run takes smaller tiles and then fewer threads rather than more memory than
// ClassicMemoryNeed gives the classic run, down to one thread: only an area of at most 256 pixels
// on its longer side may need more than that, at most 2.5 MB.
std::int64_t FineMemoryNeed(std::int32_t width, std::int32_t height, int threads);
