#pragma once
#include <cstdint>

#include "engine/settings.h"
#include "imagefile/bitmap_header.h"
#include "imagefile/image.h"

// The engine's entry: every caller runs either method through these, and the method is chosen
// here alone, from the settings.

// Removes noise from one picture (the triple: its header, the working pixels written, the source
// rows read) with the given settings and measures the result. The hooks hear its progress and
// when its pixels are final; ending a progress display is the caller's, once the run has returned.
DenoiseOutcome DenoiseImage(const DenoiseSettings& settings, const DenoiseHooks& hooks, const BitmapInfoHeader* header,
                            std::uint8_t* bits, const std::uint8_t* const* rows);

// The preview of an area of the picture (header, rows). The caller has cut the crop from it: the
// crop's source rows hold the area's pixels at its first rows and columns, and its working pixels
// receive the result there, measured against those rows. The adaptive method denoises the area in
// the picture's context, so its pixels equal the same pixels of the whole picture's run; the
// classic method runs on the crop as a picture of its own (its thresholds measured on the crop).
DenoiseOutcome DenoiseCrop(const DenoiseSettings& settings, const BitmapInfoHeader* header,
                           const std::uint8_t* const* rows, const PictureArea& area, Image& crop);

// Bytes a run of the method holds at once for a picture of this size besides the picture itself,
// so a caller can refuse or schedule a picture before starting. Saturates for sizes no run takes.
std::uint64_t DenoiseMemoryNeed(const DenoiseSettings& settings, std::uint64_t width, std::uint64_t height);
