#include "engine/fine/patch_transform.h"
#include "engine/fine/large_patch_transform.h"

#include "engine/fine/eight_floats.h"
#include "engine/wide_loops.h"

namespace {

// c(k) cos(k pi / 16) with the 1/2 of c(k) taken in; rootEighth serves frequency 0 and 4 alike.
constexpr float rootEighth = 0.353553391f;  // sqrt(1/8)
constexpr float cos1 = 0.49039264f;
constexpr float cos2 = 0.461939766f;
constexpr float cos3 = 0.415734806f;
constexpr float cos5 = 0.277785117f;
constexpr float cos6 = 0.191341716f;
constexpr float cos7 = 0.097545161f;
constexpr float rootHalf = 0.70710678f;

}  // namespace

constexpr float patchDct[patchSide][patchSide] = {
    {rootEighth, rootEighth, rootEighth, rootEighth, rootEighth, rootEighth, rootEighth, rootEighth},
    {cos1, cos3, cos5, cos7, -cos7, -cos5, -cos3, -cos1},
    {cos2, cos6, -cos6, -cos2, -cos2, -cos6, cos6, cos2},
    {cos3, -cos7, -cos1, -cos5, cos5, cos1, cos7, -cos3},
    {rootEighth, -rootEighth, -rootEighth, rootEighth, rootEighth, -rootEighth, -rootEighth, rootEighth},
    {cos5, -cos1, cos7, cos3, -cos3, -cos7, cos1, -cos5},
    {cos6, -cos2, cos2, -cos6, -cos6, cos2, -cos2, cos6},
    {cos7, -cos5, cos3, -cos1, cos1, -cos3, cos5, -cos7},
};

namespace {

using Block = EightFloats[patchSide];

// The DCT down the columns of a block, every column at once: b[k] is row k, and becomes frequency
// row k. Even and odd halves apart: 22 products instead of 64.
QV_LOOP_BODY void ForwardColumns(Block& b)
{
    const EightFloats s0 = b[0] + b[7], d0 = b[0] - b[7];
    const EightFloats s1 = b[1] + b[6], d1 = b[1] - b[6];
    const EightFloats s2 = b[2] + b[5], d2 = b[2] - b[5];
    const EightFloats s3 = b[3] + b[4], d3 = b[3] - b[4];
    const EightFloats a0 = s0 + s3, a3 = s0 - s3, a1 = s1 + s2, a2 = s1 - s2;
    const EightFloats c1 = SplatEight(cos1), c2 = SplatEight(cos2), c3 = SplatEight(cos3);
    const EightFloats c5 = SplatEight(cos5), c6 = SplatEight(cos6), c7 = SplatEight(cos7);
    const EightFloats r8 = SplatEight(rootEighth);
    b[0] = (a0 + a1) * r8;
    b[4] = (a0 - a1) * r8;
    b[2] = a3 * c2 + a2 * c6;
    b[6] = a3 * c6 - a2 * c2;
    b[1] = ((d0 * c1 + d1 * c3) + d2 * c5) + d3 * c7;
    b[3] = ((d0 * c3 - d1 * c7) - d2 * c1) - d3 * c5;
    b[5] = ((d0 * c5 - d1 * c1) + d2 * c7) + d3 * c3;
    b[7] = ((d0 * c7 - d1 * c5) + d2 * c3) - d3 * c1;
}

// The inverse of ForwardColumns.
QV_LOOP_BODY void InverseColumns(Block& b)
{
    const EightFloats c1 = SplatEight(cos1), c2 = SplatEight(cos2), c3 = SplatEight(cos3);
    const EightFloats c5 = SplatEight(cos5), c6 = SplatEight(cos6), c7 = SplatEight(cos7);
    const EightFloats r8 = SplatEight(rootEighth);
    const EightFloats even0 = (b[0] + b[4]) * r8, even1 = (b[0] - b[4]) * r8;
    const EightFloats q3 = b[2] * c2 + b[6] * c6, q2 = b[2] * c6 - b[6] * c2;
    const EightFloats e0 = even0 + q3, e3 = even0 - q3, e1 = even1 + q2, e2 = even1 - q2;
    const EightFloats o0 = ((b[1] * c1 + b[3] * c3) + b[5] * c5) + b[7] * c7;
    const EightFloats o1 = ((b[1] * c3 - b[3] * c7) - b[5] * c1) - b[7] * c5;
    const EightFloats o2 = ((b[1] * c5 - b[3] * c1) + b[5] * c7) + b[7] * c3;
    const EightFloats o3 = ((b[1] * c7 - b[3] * c5) + b[5] * c3) - b[7] * c1;
    b[0] = e0 + o0;
    b[7] = e0 - o0;
    b[1] = e1 + o1;
    b[6] = e1 - o1;
    b[2] = e2 + o2;
    b[5] = e2 - o2;
    b[3] = e3 + o3;
    b[4] = e3 - o3;
}

// Rows become columns: three rounds of interleaving, which only move values.
QV_LOOP_BODY void Transpose(Block& b)
{
    EightFloats t[patchSide], u[patchSide];
    for (int k = 0; k < patchSide; k += 2) {
        t[k] = __builtin_shufflevector(b[k], b[k + 1], 0, 8, 1, 9, 4, 12, 5, 13);
        t[k + 1] = __builtin_shufflevector(b[k], b[k + 1], 2, 10, 3, 11, 6, 14, 7, 15);
    }
    for (int k = 0; k < patchSide; k += 4)
        for (int h = 0; h < 2; ++h) {
            u[k + 2 * h] = __builtin_shufflevector(t[k + h], t[k + h + 2], 0, 1, 8, 9, 4, 5, 12, 13);
            u[k + 2 * h + 1] = __builtin_shufflevector(t[k + h], t[k + h + 2], 2, 3, 10, 11, 6, 7, 14, 15);
        }
    for (int k = 0; k < 4; ++k) {
        b[k] = __builtin_shufflevector(u[k], u[k + 4], 0, 1, 2, 3, 8, 9, 10, 11);
        b[k + 4] = __builtin_shufflevector(u[k], u[k + 4], 4, 5, 6, 7, 12, 13, 14, 15);
    }
}

}  // namespace

// Down the columns, across (the block transposed), and down again: the coefficients come out with
// the horizontal frequency as the row.
QV_LOOP_BODY void ForwardPatchesBody(const float* plane, const int* offsets, int count, int stride,
                                     float* coefficients)
{
    for (int g = 0; g < count; ++g) {
        Block b;
        for (int k = 0; k < patchSide; ++k) b[k] = LoadEight(plane + offsets[g] + static_cast<long>(k) * stride);
        ForwardColumns(b);
        Transpose(b);
        ForwardColumns(b);
        for (int k = 0; k < patchSide; ++k) StoreEight(coefficients + g * patchSize + k * patchSide, b[k]);
    }
}
QV_WIDE_LOOP(ForwardPatches, (const float* plane, const int* offsets, int count, int stride, float* coefficients),
             (plane, offsets, count, stride, coefficients))

QV_LOOP_BODY void PatchDcOfBody(const float* plane, int stride, float* dc)
{
    EightFloats sum = LoadEight(plane);
    for (int k = 1; k < patchSide; ++k) sum = sum + LoadEight(plane + static_cast<long>(k) * stride);
    float total = sum[0];
    for (int k = 1; k < patchSide; ++k) total = total + sum[k];
    *dc = total * 0.125f;
}
QV_WIDE_LOOP(PatchDcOf, (const float* plane, int stride, float* dc), (plane, stride, dc))

float PatchDc(const float* plane, int stride)
{
    float dc;
    PatchDcOf(plane, stride, &dc);
    return dc;
}

// Eight places at a time: each column's samples down the patch, then in place along the row the
// eight columns' sums, whose first the place's own result replaces once read.
QV_LOOP_BODY void PatchDcPlaneBody(const float* plane, int width, int height, int stride, float* dc)
{
    for (int y = 0; y + patchSide <= height; ++y) {
        float* row = dc + static_cast<long>(y) * stride;
        for (int x = 0; x < width; x += 8) {
            const float* at = plane + static_cast<long>(y) * stride + x;
            EightFloats sum = LoadEight(at);
            for (int k = 1; k < patchSide; ++k) sum = sum + LoadEight(at + static_cast<long>(k) * stride);
            StoreEight(row + x, sum);
        }
        for (int x = 0; x + patchSide <= width; x += 8) {
            EightFloats total = LoadEight(row + x);
            for (int k = 1; k < patchSide; ++k) total = total + LoadEight(row + x + k);
            StoreEight(row + x, total * SplatEight(0.125f));
        }
    }
}
QV_WIDE_LOOP(PatchDcPlane, (const float* plane, int width, int height, int stride, float* dc),
             (plane, width, height, stride, dc))

QV_LOOP_BODY void AddInversePatchesBody(const float* coefficients, const int* offsets, int count, float weight,
                                        int stride, float* sum, float* weights)
{
    const EightFloats w = SplatEight(weight);
    for (int g = 0; g < count; ++g) {
        Block b;
        for (int k = 0; k < patchSide; ++k) b[k] = LoadEight(coefficients + g * patchSize + k * patchSide);
        InverseColumns(b);
        Transpose(b);
        InverseColumns(b);
        for (int k = 0; k < patchSide; ++k) {
            const long at = offsets[g] + static_cast<long>(k) * stride;
            StoreEight(sum + at, LoadEight(sum + at) + w * b[k]);
            StoreEight(weights + at, LoadEight(weights + at) + w);
        }
    }
}
QV_WIDE_LOOP(AddInversePatches,
             (const float* coefficients, const int* offsets, int count, float weight, int stride, float* sum,
              float* weights),
             (coefficients, offsets, count, weight, stride, sum, weights))

// Pair (a, b) becomes ((a + b), (a - b)) / sqrt 2; applied twice it gives the pair back.
QV_LOOP_BODY void Butterfly(EightFloats& a, EightFloats& b)
{
    const EightFloats scale = SplatEight(rootHalf);
    const EightFloats x = a, y = b;
    a = (x + y) * scale;
    b = (x - y) * scale;
}

// Two levels at once on the patches p, p + step, p + 2 step and p + 3 step, eight coefficients at
// a time held in registers: forward the pairs step apart and then the sums 2 step apart; the
// inverse in the opposite order. Every butterfly meets the same values as level by level.
template <int size, bool forward>
QV_LOOP_BODY void TwoLevels(float* p, int step)
{
    float* const q[4] = {p, p + step * size, p + 2 * step * size, p + 3 * step * size};
    for (int c = 0; c < size; c += 8) {
        EightFloats x[4];
        for (int k = 0; k < 4; ++k) x[k] = LoadEight(q[k] + c);
        if (forward) {
            Butterfly(x[0], x[1]);
            Butterfly(x[2], x[3]);
            Butterfly(x[0], x[2]);
        } else {
            Butterfly(x[0], x[2]);
            Butterfly(x[0], x[1]);
            Butterfly(x[2], x[3]);
        }
        for (int k = 0; k < 4; ++k) StoreEight(q[k] + c, x[k]);
    }
}

// One level: the pairs (i, i + step).
template <int size>
QV_LOOP_BODY void OneLevel(float* group, int count, int step)
{
    for (int i = 0; i < count; i += 2 * step)
        for (int c = 0; c < size; c += 8) {
            EightFloats a = LoadEight(group + i * size + c), b = LoadEight(group + (i + step) * size + c);
            Butterfly(a, b);
            StoreEight(group + i * size + c, a);
            StoreEight(group + (i + step) * size + c, b);
        }
}

// Forward, level by level from step 1: at each level the pairs (i, i + step) of the patches that
// still hold sums, i a multiple of 2 step, become their scaled sum at i and difference at i + step.
// The inverse takes the levels in the opposite order. The levels go two at a time (steps 1 and 2,
// then 4 and 8), and a last one alone when their number is odd.
template <int size, bool forward>
QV_LOOP_BODY void HaarLevels(float* group, int count)
{
    int paired = 1;  // the steps below it go in pairs
    while (paired * 4 <= count) paired *= 4;
    const auto twoLevels = [&](int step) {
        for (int i = 0; i < count; i += 4 * step) TwoLevels<size, forward>(group + i * size, step);
    };
    if (forward) {
        for (int step = 1; step < paired; step *= 4) twoLevels(step);
        if (paired < count) OneLevel<size>(group, count, paired);
    } else {
        if (paired < count) OneLevel<size>(group, count, paired);
        for (int step = paired / 4; step >= 1; step /= 4) twoLevels(step);
    }
}

// The two patch sizes as constants, so that each loop is unrolled.
template <bool forward>
QV_LOOP_BODY void HaarLevels(float* group, int count, int size)
{
    if (size == largePatchSize)
        HaarLevels<largePatchSize, forward>(group, count);
    else
        HaarLevels<patchSize, forward>(group, count);
}

QV_LOOP_BODY void HaarAcrossGroupBody(float* group, int count, int size) { HaarLevels<true>(group, count, size); }
QV_WIDE_LOOP(HaarAcrossGroup, (float* group, int count, int size), (group, count, size))

QV_LOOP_BODY void InverseHaarAcrossGroupBody(float* group, int count, int size)
{
    HaarLevels<false>(group, count, size);
}
QV_WIDE_LOOP(InverseHaarAcrossGroup, (float* group, int count, int size), (group, count, size))
