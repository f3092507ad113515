#pragma once
#include <cstdint>

// Locally adaptive bivariate shrinkage of undecimated wavelet details (Sendur and Selesnick,
// "Bivariate shrinkage with local variance estimation", 2002). A coefficient w1 and its parent w2
// (the same place and orientation one level coarser) are shrunk together:
//   w1 * max(r - sqrt 3 * noise² / signal, 0) / r,   r = sqrt(w1² + w2²),
// where signal² is the mean of w1² over a window round it less the noise variance. The noise may
// differ from place to place (brightness) and between a level and its parents' (correlated noise
// is louder in the coarser levels): the parent is first scaled to the child's noise. Edges and
// texture keep large parents and a large local variance and pass almost untouched; in flat parts
// both are small and the detail goes. Pure kernels over rows; the caller owns the planes.

// The window is windowSide x windowSide, centred.
constexpr int windowSide = 9;
constexpr int windowReach = windowSide / 2;

// sums[x] = the sum of row[x + k]² for k in -windowReach ... windowReach, wrapping round the row.
// padded is the caller's scratch of n + 2 windowReach elements.
void SquareSumsAlongRow(const float* row, float* sums, float* padded, int n);

// Shrinks one row of details in place with their parents; rowSums are the windowSide rows of
// SquareSumsAlongRow from windowReach rows above to windowReach rows below, added in that order.
// The noise differs with the brightness: codes[x] is the code of the brightness there, by which
// noiseVariance gives the detail's noise variance and parentScale the ratio of the detail's noise
// deviation to its parent's.
void BivariateShrinkRow(float* detail, const float* parent, const float* const* rowSums, int n,
                        const std::uint8_t* codes, const float* noiseVariance, const float* parentScale);
