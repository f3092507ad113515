#pragma once

// One level of the undecimated (translation-invariant) Haar transform, split into pure kernels over
// rows so a caller can run it on any plane of rows. The filters are orthonormal, so white noise of
// standard deviation s gives every detail band of every level the same s; at level j the filter
// taps lie 2^j apart instead of the signal being halved. Indices wrap round within the row or the
// column: a caller keeps the part it uses far enough from the ends.
//
// Analysis: low[n] = (x[n] + x[n + step]) / sqrt 2, high[n] = (x[n] - x[n + step]) / sqrt 2.
// Synthesis, the mean of the two shifts that each invert it exactly:
//   x[n] = ((low[n] + high[n]) + (low[n - step] - high[n - step])) / (2 sqrt 2).

// Along one row of n elements (step < n).
void AnalyseRow(const float* row, float* low, float* high, int n, int step);
void SynthesiseRow(const float* low, const float* high, float* row, int n, int step);

// Across rows, element by element: `row` and `partner` are rows n and n + step of a column pair
// (analysis), or `low`/`high` rows n and n - step (synthesis). Outputs never overlap inputs.
void AnalyseRowPair(const float* row, const float* partner, float* low, float* high, int n);
void SynthesiseRowPair(const float* low, const float* high, const float* lowBefore,
                       const float* highBefore, float* row, int n);
