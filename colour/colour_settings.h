#pragma once
#include <cstdint>

// The colour settings of the conversions: the tone curve applied on the way into L*a*b* and the
// correction applied on the way back. Handed in with every call that converts.
struct ColourSettings {
    std::int8_t toneMode = 0;        // 0 ... 3; any other value acts as 0
    std::uint8_t rgbCorrection = 1;  // 0 or 1
};
