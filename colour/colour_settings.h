#pragma once
#include <cstdint>

// The colour settings the conversions read at every call; per thread for the same reason as the
// engine's settings.
extern thread_local std::int8_t toneMode;        // 0 ... 3; any other value acts as 0
extern thread_local std::uint8_t rgbCorrection;  // 0 or 1, default 1
