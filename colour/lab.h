#pragma once
#include <cstdint>

// Conversions between 8-bit RGB and the engine's working space, CIE L*a*b* relative to the D50
// white (0.9642, 1.0, 0.8249), unscaled. One pixel per call; red first, so callers holding pixels
// in blue, green, red order pass bytes 3k + 2, 3k + 1, 3k.

// Converts after the tone curve toneMode (0 ... 3; any other value acts as 0). Only the low byte
// of each sample is used. Black gives exactly (0, 0, 0) in every tone mode. Always true.
bool RgbToLab(int toneMode, int red, int green, int blue, double& lStar, double& aStar, double& bStar);

// Rewrites x and z from the chromaticity of (x, y, z) and y; y is kept. Mathematically the
// identity, but part of both conversions all the same: it changes x and z by rounding.
void NormalizeChromaticity(double& x, double& y, double& z);

// The same for count pixels held in blue, green, red order, into rows of L*, a* and b*: the very
// doubles RgbToLab gives, four pixels at a time. wide runs the AVX2 version of the loop, which the
// caller has found the processor to support.
void RgbRowToLab(bool wide, int toneMode, const std::uint8_t* bgr, int count,
                 double* lStar, double* aStar, double* bStar);

// Converts back without undoing the tone curve, so a brighter or darker curve stays in the
// result; with rgbCorrection the result is corrected. Samples are truncated, never rounded, and
// clamped to 0 ... 255. Always true.
bool LabToRgb(bool rgbCorrection, double lStar, double aStar, double bStar,
              std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue);

// The same for count pixels from rows of L*, a* and b* into blue, green, red order: the very
// bytes LabToRgb gives, four pixels at a time. wide runs the AVX2 version of the loop, which the
// caller has found the processor to support.
void LabRowToRgb(bool wide, bool rgbCorrection, const double* lStar, const double* aStar,
                 const double* bStar, int count, std::uint8_t* bgr);

// The same conversion computed step by step as defined, with every rounding of the definition.
// LabToRgb gives the same bytes for every input; it leaves out steps that only round wherever that
// cannot change a byte.
bool LabToRgbLiteral(bool correction, double lStar, double aStar, double bStar,
                     std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue);
