#include "engine/fine/large_patch_transform.h"

#include "engine/fine/eight_floats.h"
#include "engine/wide_loops.h"

namespace {

constexpr int side = largePatchSide, half = largePatchSide / 2;

// dct[k][n] = c(k) cos((2n + 1) k pi / 24), c(0) = sqrt(1/12), c(k) = sqrt(1/6), for the first
// half of the samples: the second half mirrors it, with the sign of (-1)^k.
constexpr float dct[side][half] = {
    {0.288675135f, 0.288675135f, 0.288675135f, 0.288675135f, 0.288675135f, 0.288675135f},
    {0.40475567f, 0.37717224f, 0.323885145f, 0.248525813f, 0.156229857f, 0.0532870948f},
    {0.394337567f, 0.288675135f, 0.105662433f, -0.105662433f, -0.288675135f, -0.394337567f},
    {0.37717224f, 0.156229857f, -0.156229857f, -0.37717224f, -0.37717224f, -0.156229857f},
    {0.353553391f, 0.0f, -0.353553391f, -0.353553391f, 0.0f, 0.353553391f},
    {0.323885145f, -0.156229857f, -0.40475567f, -0.0532870948f, 0.37717224f, 0.248525813f},
    {0.288675135f, -0.288675135f, -0.288675135f, 0.288675135f, 0.288675135f, -0.288675135f},
    {0.248525813f, -0.37717224f, -0.0532870948f, 0.40475567f, -0.156229857f, -0.323885145f},
    {0.204124145f, -0.40824829f, 0.204124145f, 0.204124145f, -0.40824829f, 0.204124145f},
    {0.156229857f, -0.37717224f, 0.37717224f, -0.156229857f, -0.156229857f, 0.37717224f},
    {0.105662433f, -0.288675135f, 0.394337567f, -0.394337567f, 0.288675135f, -0.105662433f},
    {0.0532870948f, -0.156229857f, 0.248525813f, -0.323885145f, 0.37717224f, -0.40475567f},
};

using FourFloats = float __attribute__((vector_size(16)));

// A block's rows: columns 0 ... 7 in one vector, 8 ... 11 in the other.
struct Block {
    EightFloats low[side];
    FourFloats high[side];
};

// The DCT down the columns, every column at once: b[k] becomes frequency row k. Sums and differences
// of mirrored rows first: each frequency is then six products.
template <class Lanes>
QV_LOOP_BODY void ForwardColumns(Lanes (&b)[side])
{
    Lanes sum[half], difference[half];
    for (int n = 0; n < half; ++n) {
        sum[n] = b[n] + b[side - 1 - n];
        difference[n] = b[n] - b[side - 1 - n];
    }
    for (int k = 0; k < side; ++k) {
        const Lanes* from = k % 2 == 0 ? sum : difference;
        Lanes total = from[0] * dct[k][0];
        for (int n = 1; n < half; ++n) total = total + from[n] * dct[k][n];
        b[k] = total;
    }
}

// The inverse of ForwardColumns.
template <class Lanes>
QV_LOOP_BODY void InverseColumns(Lanes (&b)[side])
{
    Lanes even[half], odd[half];
    for (int n = 0; n < half; ++n) {
        even[n] = b[0] * dct[0][n];
        odd[n] = b[1] * dct[1][n];
        for (int k = 2; k < side; k += 2) {
            even[n] = even[n] + b[k] * dct[k][n];
            odd[n] = odd[n] + b[k + 1] * dct[k + 1][n];
        }
    }
    for (int n = 0; n < half; ++n) {
        b[n] = even[n] + odd[n];
        b[side - 1 - n] = even[n] - odd[n];
    }
}

QV_LOOP_BODY void ForwardColumns(Block& b)
{
    ForwardColumns(b.low);
    ForwardColumns(b.high);
}

QV_LOOP_BODY void InverseColumns(Block& b)
{
    InverseColumns(b.low);
    InverseColumns(b.high);
}

// Rows become columns, four by four: each 4 x 4 block of the block is transposed by interleaving
// and goes to its mirrored place. Only moves values.
QV_LOOP_BODY void Transpose(Block& b)
{
    FourFloats quad[side][3];
    for (int k = 0; k < side; ++k) {
        quad[k][0] = __builtin_shufflevector(b.low[k], b.low[k], 0, 1, 2, 3);
        quad[k][1] = __builtin_shufflevector(b.low[k], b.low[k], 4, 5, 6, 7);
        quad[k][2] = b.high[k];
    }
    FourFloats moved[side][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const FourFloats* r = &quad[4 * i][j];
            const FourFloats t0 = __builtin_shufflevector(r[0], r[3], 0, 4, 1, 5);
            const FourFloats t1 = __builtin_shufflevector(r[0], r[3], 2, 6, 3, 7);
            const FourFloats t2 = __builtin_shufflevector(r[6], r[9], 0, 4, 1, 5);
            const FourFloats t3 = __builtin_shufflevector(r[6], r[9], 2, 6, 3, 7);
            moved[4 * j][i] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
            moved[4 * j + 1][i] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
            moved[4 * j + 2][i] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
            moved[4 * j + 3][i] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
        }
    for (int k = 0; k < side; ++k) {
        b.low[k] = __builtin_shufflevector(moved[k][0], moved[k][1], 0, 1, 2, 3, 4, 5, 6, 7);
        b.high[k] = moved[k][2];
    }
}

QV_LOOP_BODY void Load(const float* from, EightFloats& low, FourFloats& high)
{
    low = LoadEight(from);
    __builtin_memcpy(&high, from + 8, sizeof high);
}

QV_LOOP_BODY void Store(float* to, const EightFloats& low, const FourFloats& high)
{
    StoreEight(to, low);
    __builtin_memcpy(to + 8, &high, sizeof high);
}

}  // namespace

QV_LOOP_BODY void ForwardLargePatchesBody(const float* plane, const int* offsets, int count, int stride,
                                          float* coefficients)
{
    for (int g = 0; g < count; ++g) {
        Block b;
        for (int k = 0; k < side; ++k)
            Load(plane + offsets[g] + static_cast<long>(k) * stride, b.low[k], b.high[k]);
        ForwardColumns(b);
        Transpose(b);
        ForwardColumns(b);
        for (int k = 0; k < side; ++k) Store(coefficients + g * largePatchSize + k * side, b.low[k], b.high[k]);
    }
}
QV_WIDE_LOOP(ForwardLargePatches,
             (const float* plane, const int* offsets, int count, int stride, float* coefficients),
             (plane, offsets, count, stride, coefficients))

// Eight places at a time: each row's samples added along the row from zero, then in place down
// the plane the rows' sums from zero, whose first the place's own result replaces once read.
QV_LOOP_BODY void LargePatchDcPlaneBody(const float* plane, int width, int height, int stride, float* dc)
{
    for (int y = 0; y < height; ++y)
        for (int x = 0; x + side <= width; x += 8) {
            const float* at = plane + static_cast<long>(y) * stride + x;
            EightFloats sum = SplatEight(0.0f);
            for (int n = 0; n < side; ++n) sum = sum + LoadEight(at + n);
            StoreEight(dc + static_cast<long>(y) * stride + x, sum);
        }
    for (int y = 0; y + side <= height; ++y)
        for (int x = 0; x + side <= width; x += 8) {
            float* at = dc + static_cast<long>(y) * stride + x;
            EightFloats total = SplatEight(0.0f);
            for (int k = 0; k < side; ++k) total = total + LoadEight(at + static_cast<long>(k) * stride);
            StoreEight(at, total * SplatEight(1.0f / side));
        }
}
QV_WIDE_LOOP(LargePatchDcPlane, (const float* plane, int width, int height, int stride, float* dc),
             (plane, width, height, stride, dc))

QV_LOOP_BODY void AddInverseLargePatchesBody(const float* coefficients, const int* offsets, int count, float weight,
                                             int stride, float* sum, float* weights)
{
    const EightFloats lowWeight = SplatEight(weight);
    const FourFloats highWeight = {weight, weight, weight, weight};
    for (int g = 0; g < count; ++g) {
        Block b;
        for (int k = 0; k < side; ++k) Load(coefficients + g * largePatchSize + k * side, b.low[k], b.high[k]);
        InverseColumns(b);
        Transpose(b);
        InverseColumns(b);
        for (int k = 0; k < side; ++k) {
            float* sumRow = sum + offsets[g] + static_cast<long>(k) * stride;
            float* weightRow = weights + offsets[g] + static_cast<long>(k) * stride;
            EightFloats sumLow, weightLow;
            FourFloats sumHigh, weightHigh;
            Load(sumRow, sumLow, sumHigh);
            Load(weightRow, weightLow, weightHigh);
            Store(sumRow, sumLow + lowWeight * b.low[k], sumHigh + highWeight * b.high[k]);
            Store(weightRow, weightLow + lowWeight, weightHigh + highWeight);
        }
    }
}
QV_WIDE_LOOP(AddInverseLargePatches,
             (const float* coefficients, const int* offsets, int count, float weight, int stride, float* sum,
              float* weights),
             (coefficients, offsets, count, weight, stride, sum, weights))
