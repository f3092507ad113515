#pragma once
#include <cstdint>

// Hue, saturation and value of 8-bit colours, in single precision. The two conversions are not
// inverses: RgbToHsv reports whole degrees and whole percentages (with one added to its divisors),
// HsvToRgb takes degrees and fractions 0 ... 1. Callers convert between the two scales.

// Writes a, b and c into sorted in ascending order.
bool SortThree(float a, float b, float c, float sorted[3]);

// red, green, blue: the low byte of each is used. hue: whole degrees 0 ... 359, rounded down;
// saturation and value: whole percentages 0 ... 100, rounded up.
bool RgbToHsv(int red, int green, int blue, float& hue, float& saturation, float& value);

// hue in degrees, saturation and value as fractions; out-of-range inputs are clamped. Writes the
// three bytes through their own addresses, so a pixel writer passes bytes 3k + 2, 3k + 1, 3k.
bool HsvToRgb(float hue, float saturation, float value, std::uint8_t* red, std::uint8_t* green,
              std::uint8_t* blue);

// A colour fraction as a byte: times 255, clamped to 0 ... 255, truncated (never rounded).
std::uint8_t FractionToByte(float fraction);
