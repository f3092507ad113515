#pragma once
#include <cstdint>
#include <string>

#include "imagefile/picture_header.h"

// What a picture costs in memory, judged from its file's header before anything is decoded, so
// that qvn and the desktop program refuse a picture that cannot be had at once instead of after
// gigabytes and minutes of decoding.

// What one picture holds at its peak, measured rather than only the planes: the loading, or the
// picture with its run's planes (planeBytes, as DenoiseMemoryNeed gives them; 0 when it is not
// denoised), and beside either the allocation arena and the stacks of the run's threads.
std::uint64_t JobMemoryNeed(const PictureHeader& header, std::uint64_t planeBytes, int threads);

// Whether the picture file at path can be loaded within budget bytes, by its header. Its denoising
// planes are not counted: a picture too large for a whole run can still be viewed and previewed, and
// the whole run refuses it by itself. A header not made out here passes: the loader then gives the
// reason.
bool PictureLoadFits(const std::string& path, std::uint64_t budget);
