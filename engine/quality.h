#pragma once
#include <cstdint>

#include "imagefile/bitmap_header.h"
#include "support/quality_figures.h"

// Scores the working pixels that a run has just written against the source rows they came from,
// in the 8-bit BT.601 luma/chroma space, on up to threads threads (see DenoiseSettings): each
// figure is ten times the natural logarithm of a range over a mean squared error, or 0 when not
// measurable (identical pictures, a uniform component, anything outside 0 ... 99.9). Changes no
// pixel.
QualityFigures MeasureQuality(int threads, const BitmapInfoHeader* header, const std::uint8_t* bits,
                              const std::uint8_t* const* rows);

// The stored form of a figure: single precision, with anything greater than 99.9 (compared in
// single precision), negative or not a number replaced by 0, not measurable.
float QualityFigure(double figure);
