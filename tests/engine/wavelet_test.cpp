#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "engine/classic/coefficient_plane.h"
#include "engine/parallel_for.h"
#include "engine/classic/wavelet.h"
#include "tests/engine/same_bits.h"

namespace {

// A plane of reproducible values between -300 and 300, the range of the scaled colour channels.
CoefficientPlane NoisyPlane(std::int32_t size, unsigned seed)
{
    CoefficientPlane plane;
    EXPECT_TRUE(AllocatePlane(size, plane));
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> value(-300.0, 300.0);
    for (std::int32_t i = 0; i < size * size; ++i) plane.data[i] = value(random);
    return plane;
}

bool SamePlanes(const CoefficientPlane& x, const CoefficientPlane& y)
{
    return x.size == y.size &&
           std::memcmp(x.data.get(), y.data.get(), sizeof(double) * x.size * x.size) == 0;
}

// The transform written out the slow, literal way: every index wraps by remainder, the column pass
// goes through a copied plane. The engine's own version regroups the memory accesses; both must
// agree to the bit.
constexpr double h[8] = {0.2303778133088965,   0.7148465705529157,  0.6308807679298589,  -0.027983769416859854,
                         -0.18703481171909309, 0.030841381835560764, 0.0328830116668852, -0.010597401785069032};
constexpr double g[8] = {h[7], -h[6], h[5], -h[4], h[3], -h[2], h[1], -h[0]};

void LiteralForwardStep(int n, double* row)
{
    std::vector<double> x(row, row + n);
    for (int k = 0; k < n / 2; ++k) {
        double a = 0.0, d = 0.0;
        for (int j = 0; j < 8; ++j) {
            a = (h[j] * x[(2 * k + j) % n]) + a;
            d = (g[j] * x[(2 * k + j) % n]) + d;
        }
        row[k] = a;
        row[n / 2 + k] = d;
    }
}

void LiteralInverseStep(int m, double* row)
{
    std::vector<double> a(row, row + m), d(row + m, row + 2 * m);
    for (int i = 0; i < m; ++i) {
        double even = 0.0, odd = 0.0;
        for (int j = 0; j < 4; ++j) {
            const int idx = (i - j + std::max(m, 1024)) % m;
            odd = ((h[2 * j + 1] * a[idx]) + (g[2 * j + 1] * d[idx])) + odd;
            even = ((h[2 * j] * a[idx]) + (g[2 * j] * d[idx])) + even;
        }
        row[2 * i] = even;
        row[2 * i + 1] = odd;
    }
}

void LiteralTranspose(std::vector<double>& plane, int n)
{
    std::vector<double> scratch(plane.size());
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) scratch[j * n + i] = plane[i * n + j];
    plane = scratch;
}

void LiteralForward2D(std::vector<double>& plane, int n, int levels)
{
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) LiteralTranspose(plane, n);
        for (int d = n, level = 0; level < levels; ++level, d /= 2)
            for (int i = 0; i < n; ++i) LiteralForwardStep(d, &plane[i * n]);
    }
}

void LiteralInverse2D(std::vector<double>& plane, int n, int levels)
{
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) LiteralTranspose(plane, n);
        for (int d = n >> levels, level = 0; level < levels; ++level, d *= 2)
            for (int i = 0; i < n; ++i) LiteralInverseStep(d, &plane[i * n]);
    }
}

}  // namespace

TEST(Wavelet, LevelsAndCoarseBlock)
{
    const std::int32_t sizes[] = {1, 2, 4, 8, 16, 1024};
    const int levels[] = {0, 1, 2, 3, 3, 3};
    const int coarse[] = {1, 1, 1, 1, 2, 128};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(LevelCount(sizes[k]), levels[k]) << sizes[k];
        EXPECT_EQ(CoarseSize(sizes[k]), coarse[k]) << sizes[k];
    }
}

TEST(Wavelet, ReferenceRowAnalysedAndRebuiltToTheBit)
{
    double row[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(WaveletStep(8, row));
    const double analysed[8] = {2.8360542803424087, 5.486196526034069,    9.56417108984852,  7.569422226490716,
                                0,                  -3.8757500579521533, 1.395166240821597, -0.34784330761563353};
    for (int k = 0; k < 8; ++k) EXPECT_TRUE(SameBits(row[k], analysed[k])) << "coefficient " << k;

    ASSERT_TRUE(WaveletStep(-4, row));
    const double rebuilt[8] = {1, 2.0000000000000004, 3, 4, 5, 6.000000000000002, 7.000000000000002, 8.000000000000002};
    for (int k = 0; k < 8; ++k) EXPECT_TRUE(SameBits(row[k], rebuilt[k])) << "sample " << k;
}

TEST(Wavelet, ShortRowsWrapTheFilter)
{
    // Length 1 has no level at all; a zero-length inverse writes nothing.
    double one[2] = {7.5, -1.0};
    ASSERT_TRUE(WaveletStep(1, one));
    ASSERT_TRUE(WaveletStep(0, one));
    EXPECT_EQ(one[0], 7.5);
    EXPECT_EQ(one[1], -1.0);

    // A single pair rebuilds from every one of the eight taps, all reading index 0: the even taps
    // and the odd taps each sum to 1/sqrt(2).
    double pair[2] = {1.0, 0.0};
    ASSERT_TRUE(WaveletStep(-1, pair));
    EXPECT_NEAR(pair[0], std::sqrt(0.5), 1e-15);
    EXPECT_NEAR(pair[1], std::sqrt(0.5), 1e-15);

    // Lengths 2 and 4 wrap several times; the short steps match the literal remainders to the bit.
    for (int n : {2, 4}) {
        double row[4] = {3.25, -1.5, 0.125, 9.0};
        double literal[4];
        std::memcpy(literal, row, sizeof row);
        ASSERT_TRUE(WaveletStep(n, row));
        LiteralForwardStep(n, literal);
        for (int k = 0; k < n; ++k) EXPECT_TRUE(SameBits(row[k], literal[k])) << "n " << n << " k " << k;
        ASSERT_TRUE(WaveletStep(-n / 2, row));
        LiteralInverseStep(n / 2, literal);
        for (int k = 0; k < n; ++k) EXPECT_TRUE(SameBits(row[k], literal[k])) << "-n " << n << " k " << k;
    }
}

TEST(Wavelet, PlaneTransformsMatchTheLiteralTransformToTheBit)
{
    for (std::int32_t size : {1, 2, 4, 8, 16, 64, 128}) {
        CoefficientPlane plane = NoisyPlane(size, 11u + size);
        std::vector<double> literal(plane.data.get(), plane.data.get() + size * size);
        const int levels = LevelCount(size);

        ASSERT_TRUE(ForwardTransform2D(0, plane, size, levels));
        LiteralForward2D(literal, size, levels);
        EXPECT_EQ(std::memcmp(plane.data.get(), literal.data(), sizeof(double) * size * size), 0) << size;

        ASSERT_TRUE(InverseTransform2D(0, plane, size, levels));
        LiteralInverse2D(literal, size, levels);
        EXPECT_EQ(std::memcmp(plane.data.get(), literal.data(), sizeof(double) * size * size), 0) << size;
    }
}

// One level of rows that are zero but for a pair of samples, in every place: the steps compute only
// what reaches the nonzero samples, and must still match the literal step wherever they wrap.
TEST(Wavelet, StepsOfMostlyZeroRowsMatchTheLiteralStepsToTheBit)
{
    const int n = 32;
    for (int p = 0; p < n; ++p) {
        for (int gap : {1, 9}) {
            std::vector<double> row(n, 0.0), literal;
            row[p] = 1.5, row[(p + gap) % n] = -0.25;
            literal = row;
            ASSERT_TRUE(WaveletStep(n, row.data()));
            LiteralForwardStep(n, literal.data());
            EXPECT_EQ(std::memcmp(row.data(), literal.data(), sizeof(double) * n), 0) << p << " " << gap;
            literal = row;
            ASSERT_TRUE(WaveletStep(-n / 2, row.data()));
            LiteralInverseStep(n / 2, literal.data());
            EXPECT_EQ(std::memcmp(row.data(), literal.data(), sizeof(double) * n), 0) << "-" << p << " " << gap;
        }
    }
}

// A picture in its square leaves rows and columns of plain zeros, which the passes leave alone;
// a row of negative zeros is no such row (the transform turns it into plain zeros).
TEST(Wavelet, ZeroMarginsAndNegativeZerosMatchTheLiteralTransformToTheBit)
{
    const std::int32_t size = 256;
    CoefficientPlane plane = NoisyPlane(size, 41u);
    for (std::int32_t i = 0; i < size; ++i)
        for (std::int32_t j = 0; j < size; ++j)
            if (i < 70 || i >= 180 || j < 9 || j >= 240) PlaneRow(plane, i)[j] = i == 3 || j == 250 ? -0.0 : 0.0;
    std::vector<double> literal(plane.data.get(), plane.data.get() + size * size);
    ASSERT_TRUE(ForwardTransform2D(0, plane, size, 3));
    LiteralForward2D(literal, size, 3);
    EXPECT_EQ(std::memcmp(plane.data.get(), literal.data(), sizeof(double) * size * size), 0);
    ASSERT_TRUE(InverseTransform2D(0, plane, size, 3));
    LiteralInverse2D(literal, size, 3);
    EXPECT_EQ(std::memcmp(plane.data.get(), literal.data(), sizeof(double) * size * size), 0);
}

TEST(Wavelet, ForwardThenInverseRebuildsThePlane)
{
    for (std::int32_t size = 1; size <= 1024; size *= 2) {
        const CoefficientPlane original = NoisyPlane(size, 3u * size);
        CoefficientPlane plane = NoisyPlane(size, 3u * size);
        const int levels = LevelCount(size);
        ASSERT_TRUE(ForwardTransform2D(0, plane, size, levels));
        ASSERT_TRUE(InverseTransform2D(0, plane, size, levels));
        double worst = 0.0;
        for (std::int32_t k = 0; k < size * size; ++k)
            worst = std::max(worst, std::fabs(plane.data[k] - original.data[k]));
        if (size == 1)
            EXPECT_TRUE(SamePlanes(plane, original));
        else
            EXPECT_LT(worst, 1e-11) << size;  // a few units in the last place of values up to 300
    }
}

TEST(Wavelet, ForwardKeepsTheEnergy)
{
    for (std::int32_t size : {2, 4, 8, 256}) {
        CoefficientPlane plane = NoisyPlane(size, 5u);
        double before = 0.0, after = 0.0;
        for (std::int32_t k = 0; k < size * size; ++k) before += plane.data[k] * plane.data[k];
        ASSERT_TRUE(ForwardTransform2D(0, plane, size, LevelCount(size)));
        for (std::int32_t k = 0; k < size * size; ++k) after += plane.data[k] * plane.data[k];
        EXPECT_NEAR(after / before, 1.0, 1e-12) << size;
    }
}

TEST(Wavelet, ConstantAndZeroPlanes)
{
    // A constant lands entirely in the coarsest block, scaled by sqrt(2) per level and direction.
    for (std::int32_t size : {8, 64}) {
        CoefficientPlane plane;
        ASSERT_TRUE(AllocatePlane(size, plane));
        for (std::int32_t k = 0; k < size * size; ++k) plane.data[k] = 12.5;
        ASSERT_TRUE(ForwardTransform2D(0, plane, size, 3));
        const int coarse = CoarseSize(size);
        for (std::int32_t i = 0; i < size; ++i)
            for (std::int32_t j = 0; j < size; ++j) {
                const double expected = i < coarse && j < coarse ? 100.0 : 0.0;
                ASSERT_NEAR(PlaneRow(plane, i)[j], expected, 1e-12) << size << ": " << i << ", " << j;
            }
    }

    CoefficientPlane zero;
    ASSERT_TRUE(AllocatePlane(32, zero));
    ASSERT_TRUE(ForwardTransform2D(0, zero, 32, 3));
    ASSERT_TRUE(InverseTransform2D(0, zero, 32, 3));
    for (std::int32_t k = 0; k < 32 * 32; ++k) ASSERT_TRUE(SameBits(zero.data[k], 0.0)) << k;
}

TEST(Wavelet, ThreadsDoNotChangeTheResult)
{
    const std::int32_t size = 256;
    CoefficientPlane single = NoisyPlane(size, 21u);
    CoefficientPlane threaded = NoisyPlane(size, 21u);
    ASSERT_TRUE(ForwardTransform2D(1, single, size, 3));
    ASSERT_TRUE(ForwardTransform2D(3, threaded, size, 3));  // more threads than this machine may have, to mix the chunks
    EXPECT_TRUE(SamePlanes(single, threaded));
    ASSERT_TRUE(InverseTransform2D(3, threaded, size, 3));
    ASSERT_TRUE(InverseTransform2D(1, single, size, 3));
    EXPECT_TRUE(SamePlanes(single, threaded));
}

// Sides that leave partial tiles and partial groups of tiles. Rows outside nonZero are the zero
// margin, which the transposition takes as zero without reading; rows outside wanted may hold
// anything afterwards, every other row must be exact.
TEST(Wavelet, TranspositionMovesEveryWantedElementOnceAndSkipsOnlyZeroRows)
{
    struct Case {
        std::int32_t size;
        RowSpan nonZero, wanted;
    };
    for (const Case c : {Case{600, {100, 500}, {0, 600}}, Case{1100, {37, 1061}, {0, 1100}},
                         Case{1024, {0, 1024}, {300, 700}}, Case{1024, {0, 1024}, {0, 1024}}}) {
        CoefficientPlane plane = NoisyPlane(c.size, 31u);
        for (std::int32_t i = 0; i < c.size; ++i)
            if (i < c.nonZero.first || i >= c.nonZero.last) std::fill_n(PlaneRow(plane, i), c.size, 0.0);
        std::vector<double> literal(plane.data.get(), plane.data.get() + std::size_t(c.size) * c.size);
        WorkerTeam team(3);
        TransposePlane(team, plane, c.size, c.nonZero, c.wanted);
        LiteralTranspose(literal, c.size);
        const std::size_t first = std::size_t(c.wanted.first) * c.size, last = std::size_t(c.wanted.last) * c.size;
        EXPECT_EQ(std::memcmp(plane.data.get() + first, literal.data() + first, sizeof(double) * (last - first)), 0)
            << c.size;
    }
}

TEST(CoefficientPlane, AllocatesZeroedRowsOrRefuses)
{
    CoefficientPlane plane;
    ASSERT_TRUE(AllocatePlane(16, plane));
    EXPECT_EQ(plane.size, 16);
    EXPECT_EQ(PlaneRow(plane, 3), plane.data.get() + 48);
    for (int k = 0; k < 256; ++k) ASSERT_TRUE(SameBits(plane.data[k], 0.0));

    EXPECT_FALSE(AllocatePlane(0, plane));
    EXPECT_EQ(plane.data, nullptr);
    EXPECT_FALSE(AllocatePlane(-8, plane));
    // 2^60 bytes: more than any address space, refused before asking for memory.
    EXPECT_FALSE(AllocatePlane(1 << 30, plane));
    EXPECT_EQ(plane.size, 0);

    // The three planes of a 4096-pixel picture (384 MiB) fit even the 32-bit program.
    CoefficientPlane big[3];
    for (CoefficientPlane& p : big) ASSERT_TRUE(AllocatePlane(4096, p));
    EXPECT_TRUE(SameBits(PlaneRow(big[2], 4095)[4095], 0.0));
}

TEST(CoefficientPlane, TwoGiBInOneBlockIsRefusedInA32BitProcess)
{
    if (sizeof(void*) != 4) GTEST_SKIP() << "only in a 32-bit process: 2 GiB in one block is beyond its address space";
    CoefficientPlane plane;
    EXPECT_FALSE(AllocatePlane(16384, plane));
    EXPECT_EQ(plane.data, nullptr);
}
