#include "colour/colour_settings.h"

thread_local std::int8_t toneMode = 0;
thread_local std::uint8_t rgbCorrection = 1;
