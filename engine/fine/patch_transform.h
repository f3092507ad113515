#pragma once

// The transforms of the self-similarity stage: an orthonormal 8 x 8 DCT-II on each patch, and an
// orthonormal Haar transform across a group of patches. Pure kernels over small blocks; the
// constants are literals (cosines computed at start-up would differ in their last bits from one
// runtime library to another), and every sum runs in a fixed order, so the same block gives the
// same bits in every build.

constexpr int patchSide = 8;
constexpr int patchSize = patchSide * patchSide;
// The most patches a group holds; a group holds a power of two of them.
constexpr int largestGroup = 16;

// patchDct[k][n] = c(k) cos((2n + 1) k pi / 16), c(0) = sqrt(1/8), c(k) = 1/2: row k is the k-th
// basis vector. A patch's coefficient u * 8 + v holds horizontal frequency u and vertical v.
extern const float patchDct[patchSide][patchSide];

// The coefficients of count 8 x 8 patches (patch after patch), whose top-left samples are
// plane[offsets[0 ... count - 1]], rows stride apart.
void ForwardPatches(const float* plane, const int* offsets, int count, int stride, float* coefficients);

// Coefficient 0 alone of the patch whose top-left sample is plane[0] (the samples' sum over 8),
// cheaper than the whole transform.
float PatchDc(const float* plane, int stride);

// The same for every patch of a plane of width x height samples, rows stride apart: dc holds each
// patch's at its top-left place, in a plane of the same shape; the last seven columns and rows are
// left as they were. The bits are PatchDc's. Reads seven columns beyond width.
void PatchDcPlane(const float* plane, int width, int height, int stride, float* dc);

// The samples of count patches' coefficients (patch after patch), times weight, added patch by
// patch to the sums at the patches' offsets in a plane of rows stride apart, and weight to the
// weights there.
void AddInversePatches(const float* coefficients, const int* offsets, int count, float weight, int stride, float* sum,
                       float* weights);

// In place across a group of count patches' coefficients (count a power of two, at most
// largestGroup), patch after patch, each size coefficients (a multiple of eight): coefficient i of
// every patch is transformed with its likes.
// The forward transform leaves the group's mean (times sqrt count) in patch 0 and the differences
// of each level in the patches between.
void HaarAcrossGroup(float* group, int count, int size = patchSize);
void InverseHaarAcrossGroup(float* group, int count, int size = patchSize);
