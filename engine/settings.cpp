#include "engine/settings.h"

thread_local std::int8_t filterStrength = 50;
thread_local std::uint8_t brightnessCorrection = 1;
thread_local bool progressEnabled = false;
thread_local float lumaSnr = 0.0f;
thread_local float chromaSnr = 0.0f;
