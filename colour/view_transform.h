#pragma once
#include <cstdint>

#include "colour/colour_settings.h"
#include "imagefile/bitmap_header.h"

// The channel views of the main window's letter keys. Each view is computed from the source rows
// into the whole working picture, so views never stack; only the difference view also reads the
// working picture as it stands.
enum ViewMode : std::int8_t {
    kViewHue = 0,
    kViewSaturation = 1,
    kViewLuma = 3,
    kViewBlueDifference = 4,
    kViewRedDifference = 5,
    kViewInPhase = 6,
    kViewQuadrature = 7,
    kViewLightness = 8,
    kViewRedGreen = 9,
    kViewYellowBlue = 10,
    kViewNegative = 11,
    kViewSource = 12,
    kViewDifference = 13,
};

// Rewrites every working pixel of the picture (header, bits, rows) as the view viewMode shows it;
// the L*a*b* views convert with the given colour settings. Padding bytes are left alone; a mode
// that is no view leaves the working picture as it is.
bool ApplyViewTransform(std::int8_t viewMode, const ColourSettings& colour, const BitmapInfoHeader* header,
                        std::uint8_t* bits, std::uint8_t* const* rows);
