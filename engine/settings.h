#pragma once
#include <cstdint>

// Processing settings and the figures of the last run. Reset to their defaults at every start and
// never saved. Per thread: the desktop program has one thread, and a batch tool that runs several
// pictures at once gives each worker its own copy. Code that spreads one run over helper threads
// hands the caller's values to them.
extern thread_local std::int8_t filterStrength;        // 1 ... 99, default 50
extern thread_local std::uint8_t brightnessCorrection; // 0 or 1, default 1
extern thread_local bool progressEnabled;              // set by the caller of a whole-picture run
extern thread_local float lumaSnr;                     // 0 means not measurable
extern thread_local float chromaSnr;
