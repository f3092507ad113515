#pragma once
#include <cstdint>

#include "colour/colour_settings.h"

// Everything one run of the engine is told: the caller builds it and hands it in, so helper
// threads and pictures running at once never share a setting.
struct DenoiseSettings {
    std::int8_t filterStrength = 50;        // 1 ... 99
    std::uint8_t brightnessCorrection = 1;  // 0 or 1
    ColourSettings colour;
    // The threads one call uses: 0 means one per processor, otherwise this many (at most
    // maxEngineThreads). The bits of a result never depend on it.
    int threads = 0;
};
