// Stand-ins for the converter module that misbehave in the ways the program must survive.
// Built twice: as a module lacking BmpToPng, and as one whose every operation fails.
#include <cstdio>
#include <cstring>

#include "zentile/zentile.h"

namespace {

// A header claiming 4 x 4 pixels, followed by no pixels at all.
std::uint8_t block[40 + 8] = {40, 0, 0, 0, 4, 0, 0, 0, 4, 0, 0, 0, 1, 0, 24};

}  // namespace

ZENTILE_EXPORT const std::uint8_t* JpgToBmp(const char*, std::int32_t* size)
{
    *size = 0;  // failure, though an address comes back
    return block;
}

ZENTILE_EXPORT const std::uint8_t* PngToBmp(const char*, std::int32_t* size)
{
    *size = sizeof block;  // smaller than the header claims
    return block;
}

#if !defined(FAKE_WITHOUT_BMP_TO_PNG)
ZENTILE_EXPORT int BmpToPng(const char* path, const std::uint8_t*, int)
{
    // Leaves a partial file behind, as a write cut off by a full disk would.
    if (std::FILE* file = std::fopen(path, "wb")) {
        std::fputs("\x89PNG partial", file);
        std::fclose(file);
    }
    return 0;
}
#endif
