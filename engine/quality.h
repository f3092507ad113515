#pragma once
#include <cstdint>

#include "engine/parallel_for.h"
#include "imagefile/bitmap_header.h"
#include "support/quality_figures.h"

// Scores the working pixels that a run has just written against the source rows they came from,
// in the 8-bit BT.601 luma/chroma space, on the threads of the caller's team: each
// figure is ten times the natural logarithm of a range over a mean squared error, or 0 when not
// measurable (identical pictures, a uniform component, anything outside 0 ... 99.9). Changes no
// pixel.
QualityFigures MeasureQuality(WorkerTeam& team, const BitmapInfoHeader* header, const std::uint8_t* bits,
                              const std::uint8_t* const* rows);

// The stored form of a figure: single precision, with anything greater than 99.9 (compared in
// single precision), negative or not a number replaced by 0, not measurable.
float QualityFigure(double figure);
