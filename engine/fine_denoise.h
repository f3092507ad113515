#pragma once
#include <functional>
#include <cstdint>

#include "engine/noise_estimate.h"
#include "imagefile/bitmap_header.h"

// The adaptive denoiser, a second way to remove noise beside the classic pipeline of DenoiseImage.
// It measures each channel's noise on the picture itself, so it needs no noise level from the
// user: the strength scales what it measured, 50 taking it as it is. It works in an orthonormal
// opponent colour space (brightness and two colour axes) with a translation-invariant wavelet
// transform and locally adaptive bivariate shrinkage, in overlapping tiles so its memory stays
// below the classic run's for the same picture. The result does not depend on the number of
// threads nor on the build.
struct FineSettings {
    int strength = 50;   // 1 ... 99: the measured noise is taken as strength / 50 of itself
    int threads = 0;     // 0: one per processor
    // Called on the caller's thread with 0 ... 100 as the tiles are done; may be null.
    std::function<void(int percent)> progress;
};

struct FineOutcome {
    bool done = false;   // false: not a positive size, or no memory; the working pixels untouched
    NoiseLevels noise;   // the measured noise of brightness, red-blue, green-magenta (8-bit units)
};

// Reads the source rows, writes the working pixels (never the row padding).
FineOutcome FineDenoiseImage(const FineSettings& settings, const BitmapInfoHeader* header,
                             std::uint8_t* bits, const std::uint8_t* const* rows);

// Bytes a run holds at once besides the picture, for the threads asked for. The run takes smaller
// tiles and then fewer threads rather than more memory than DenoiseMemoryNeed gives the classic
// run, down to one thread: only a picture of at most 256 pixels on its longer side may need more
// than that, at most 2.5 MB.
std::int64_t FineDenoiseMemoryNeed(std::int32_t width, std::int32_t height, int threads);
