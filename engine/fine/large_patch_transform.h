#pragma once

// The 12 x 12 patches of the first pass at strong noise: an orthonormal 12 x 12 DCT-II, as
// patch_transform.h's 8 x 8 one (constants as literals, sums in a fixed order), whose coefficients
// lie in the same order: coefficient u * 12 + v holds horizontal frequency u and vertical v.

constexpr int largePatchSide = 12;
constexpr int largePatchSize = largePatchSide * largePatchSide;

// As ForwardPatches, for count 12 x 12 patches.
void ForwardLargePatches(const float* plane, const int* offsets, int count, int stride, float* coefficients);

// As PatchDcPlane, for 12 x 12 patches (the samples' sum over 12): the last eleven columns and rows
// are left as they were; reads seven columns beyond width.
void LargePatchDcPlane(const float* plane, int width, int height, int stride, float* dc);

// As AddInversePatches, for count 12 x 12 patches.
void AddInverseLargePatches(const float* coefficients, const int* offsets, int count, float weight, int stride,
                            float* sum, float* weights);
