#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

#include "engine/classic/coefficient_plane.h"
#include "engine/newton_sqrt.h"
#include "engine/parallel_for.h"
#include "engine/settings.h"
#include "engine/classic/shrink.h"
#include "engine/classic/wavelet.h"
#include "tests/engine/same_bits.h"

namespace {

// The 2 x 2 planes of the stage tests are too small to be split over threads, and have no margins.
WorkerTeam oneThread(1);
const CoefficientSupport whole = WholeSquare(2);

// A 2 x 2 plane, given row by row.
CoefficientPlane SmallPlane(double x00, double x01, double x10, double x11)
{
    CoefficientPlane plane;
    EXPECT_TRUE(AllocatePlane(2, plane));
    plane.data[0] = x00;
    plane.data[1] = x01;
    plane.data[2] = x10;
    plane.data[3] = x11;
    return plane;
}

CoefficientPlane ZeroPlane(std::int32_t size)
{
    CoefficientPlane plane;
    EXPECT_TRUE(AllocatePlane(size, plane));
    return plane;
}

void ExpectPlane(const CoefficientPlane& plane, double x00, double x01, double x10, double x11)
{
    EXPECT_TRUE(SameBits(plane.data[0], x00)) << "[0][0]";
    EXPECT_TRUE(SameBits(plane.data[1], x01)) << "[0][1]";
    EXPECT_TRUE(SameBits(plane.data[2], x10)) << "[1][0]";
    EXPECT_TRUE(SameBits(plane.data[3], x11)) << "[1][1]";
}

// The four stages written out the slow, literal way (branches, the library's trunc, one plane
// after the other). The engine's version fuses passes, spreads them over threads and avoids
// branches; both must agree to the bit.
double LiteralSum(const CoefficientPlane& p, int first, int end, bool descending)
{
    double sum = 0.0;
    for (int s = 0; s < end - first; ++s)
        for (int t = 0; t < end - first; ++t) {
            const int i = descending ? end - 1 - s : first + s;
            const int j = descending ? end - 1 - t : first + t;
            sum = std::fabs(PlaneRow(p, i)[j]) + sum;
        }
    return sum;
}

void LiteralShrink(CoefficientPlane* planes[3], int n, int coarse, double pixels, int strength, bool correct)
{
    for (int c = 0; c < 3; ++c) {
        const double tLow = NewtonSqrt(LiteralSum(*planes[c], 0, coarse, false) / pixels);
        const double tHigh = NewtonSqrt(LiteralSum(*planes[c], n / 2, n, false) / pixels);
        for (int k = 0; k < n * n; ++k) {
            double& x = planes[c]->data[k];
            if (!(std::fabs(x) > tLow)) x = x * 0.0;
            if (!(std::fabs(x) > tHigh)) x = x * 0.0;
        }
    }
    double sumL = 0.0;
    for (int c = 0; c < 3; ++c) {
        const double sum = LiteralSum(*planes[c], 0, n, true);
        if (c == 0) sumL = sum;
        double t = NewtonSqrt(sum / pixels);
        if (strength != 50) t = (strength > 50 ? 2.0 : 1.0) * (strength / 50.0) * t;
        for (int k = 0; k < n * n; ++k) {
            double& x = planes[c]->data[k];
            if (std::fabs(x) > t)
                x = x >= 0 ? x - t : x + t;
            else
                x = x * 0.0;
        }
    }
    if (correct) {
        const double after = LiteralSum(*planes[0], 0, n, false);
        if (after > 0.0)
            for (int k = 0; k < n * n; ++k) planes[0]->data[k] = NewtonSqrt(sumL / after) * planes[0]->data[k];
    }
    for (int c = 0; c < 3; ++c) {
        const double q = NewtonSqrt(LiteralSum(*planes[c], 0, n, true) / pixels);
        if (q > 0.0)
            for (int k = 0; k < n * n; ++k) planes[c]->data[k] = std::trunc(planes[c]->data[k] / q) * q;
    }
}

// Each test starts from the default settings.
struct Shrink : testing::Test {
    DenoiseSettings settings;
};

}  // namespace

TEST(NewtonSqrt, ReferenceValuesAndNonPositiveArguments)
{
    EXPECT_TRUE(SameBits(NewtonSqrt(2.0), 1.4142135623730949));  // one unit below the rounded root
    EXPECT_TRUE(SameBits(NewtonSqrt(10.0), 3.162277660168379));
    EXPECT_TRUE(SameBits(NewtonSqrt(0.125), 0.35355339059327373));
    EXPECT_TRUE(SameBits(NewtonSqrt(1.0), 1.0));
    EXPECT_TRUE(SameBits(NewtonSqrt(0.0), 0.0));
    EXPECT_TRUE(SameBits(NewtonSqrt(-0.0), -0.0));
    EXPECT_TRUE(SameBits(NewtonSqrt(-3.0), -3.0));
    EXPECT_TRUE(std::isnan(NewtonSqrt(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_EQ(NewtonSqrt(-std::numeric_limits<double>::infinity()), -std::numeric_limits<double>::infinity());
}

TEST(NewtonSqrt, ExtremeArgumentsEndTheIteration)
{
    EXPECT_EQ(NewtonSqrt(std::numeric_limits<double>::infinity()), std::numeric_limits<double>::infinity());
    EXPECT_NEAR(NewtonSqrt(std::numeric_limits<double>::max()) / 1.3407807929942596e154, 1.0, 1e-15);
    EXPECT_NEAR(NewtonSqrt(4.9406564584124654e-324) / 2.2227587494850775e-162, 1.0, 1e-15);
}

TEST_F(Shrink, ReferencePlaneThroughEveryStage)
{
    // One plane of a 2 x 2 picture: coarsest block [0][0], finest block [1][1].
    CoefficientPlane l = SmallPlane(40.0, -3.0, 2.5, -0.5);
    CoefficientPlane a = ZeroPlane(2), b = ZeroPlane(2);

    ShrinkStage1(oneThread, l, a, b, 2, 1, 2, 2, whole);  // thresholds NewtonSqrt(10) and NewtonSqrt(0.125)
    ExpectPlane(l, 40.0, -0.0, 0.0, -0.0);
    ShrinkStages2And3(oneThread, settings, l, a, b, 2, 1, 2, 2, whole);
    ExpectPlane(l, 38.386311278804385, -0.0, 0.0, -0.0);
    ShrinkStage4(oneThread, l, a, b, 2, 1, 2, 2, whole);
    ExpectPlane(l, 37.174012509237656, -0.0, 0.0, -0.0);
    // The zero planes have a zero step: they stay exactly as they were.
    ExpectPlane(a, 0.0, 0.0, 0.0, 0.0);
    ExpectPlane(b, 0.0, 0.0, 0.0, 0.0);
}

TEST_F(Shrink, SoftThresholdValueBeforeTheBrightnessCorrection)
{
    settings.brightnessCorrection = 0;
    CoefficientPlane l = SmallPlane(40.0, -3.0, 2.5, -0.5);
    CoefficientPlane a = SmallPlane(40.0, -3.0, 2.5, -0.5);
    CoefficientPlane b = ZeroPlane(2);
    ShrinkStage1(oneThread, l, a, b, 2, 1, 2, 2, whole);
    ShrinkStages2And3(oneThread, settings, l, a, b, 2, 1, 2, 2, whole);
    ExpectPlane(l, 36.83772233983162, -0.0, 0.0, -0.0);
    ExpectPlane(a, 36.83772233983162, -0.0, 0.0, -0.0);

    // With the correction only L grows, by k = NewtonSqrt(40 / 36.8...) >= 1.
    settings.brightnessCorrection = 1;
    CoefficientPlane l2 = SmallPlane(40.0, 0.0, 0.0, 0.0);
    CoefficientPlane a2 = SmallPlane(40.0, 0.0, 0.0, 0.0);
    ShrinkStages2And3(oneThread, settings, l2, a2, b, 2, 1, 2, 2, whole);  // T = NewtonSqrt(10) once more
    EXPECT_TRUE(SameBits(l2.data[0], 38.386311278804385));
    EXPECT_TRUE(SameBits(a2.data[0], 36.83772233983162));
}

TEST_F(Shrink, ThresholdsAreStrict)
{
    CoefficientPlane a = ZeroPlane(2), b = ZeroPlane(2);
    // Coarse 4 and fine 1 over 4 pixels: tLow 1, tHigh 0.5. Exactly 1 is cleared, just above stays.
    const double above1 = std::nextafter(1.0, 2.0);
    CoefficientPlane low = SmallPlane(4.0, -1.0, above1, 1.0);
    ShrinkStage1(oneThread, low, a, b, 2, 1, 2, 2, whole);
    ExpectPlane(low, 4.0, -0.0, above1, 0.0);
    // Coarse 4 and fine 16: tLow 1, tHigh 2. Exactly 2 passes the first test and fails the second.
    const double above2 = std::nextafter(2.0, 3.0);
    CoefficientPlane high = SmallPlane(4.0, -2.0, above2, 16.0);
    ShrinkStage1(oneThread, high, a, b, 2, 1, 2, 2, whole);
    ExpectPlane(high, 4.0, -0.0, above2, 16.0);

    // Magnitudes summing to 4 over 4 pixels: T = 1, and exactly 1 is cleared.
    settings.brightnessCorrection = 0;
    CoefficientPlane soft = SmallPlane(2.0, -1.0, 1.0, 0.0);
    ShrinkStages2And3(oneThread, settings, soft, a, b, 2, 1, 2, 2, whole);
    ExpectPlane(soft, 1.0, -0.0, 0.0, 0.0);
}

TEST_F(Shrink, StrengthScalesTheSoftThreshold)
{
    // Magnitudes summing to 16 over 4 pixels: T = 2 before the strength factor.
    settings.brightnessCorrection = 0;
    const struct {
        int strength;
        double big, small;
    } cases[] = {
        {1, 13.0 - 0.04, 1.0 - 0.04},  // factor 0.02: hardly any threshold
        {49, 13.0 - 1.96, 0.0},        // 0.98
        {50, 11.0, 0.0},               // as measured
        {51, 13.0 - 4.08, 0.0},        // 2.04: the factor doubles above the middle
        {99, 13.0 - 7.92, 0.0},        // 3.96
    };
    for (const auto& c : cases) {
        settings.filterStrength = static_cast<std::int8_t>(c.strength);
        CoefficientPlane l = ZeroPlane(2), b = ZeroPlane(2);
        CoefficientPlane a = SmallPlane(13.0, 1.0, -1.0, 1.0);
        ShrinkStages2And3(oneThread, settings, l, a, b, 2, 1, 2, 2, whole);
        EXPECT_DOUBLE_EQ(a.data[0], c.big) << "strength " << c.strength;
        EXPECT_DOUBLE_EQ(a.data[1], c.small) << "strength " << c.strength;
        EXPECT_DOUBLE_EQ(a.data[2], -c.small) << "strength " << c.strength;
    }
}

TEST_F(Shrink, QuantisationTruncatesTowardsZero)
{
    // Magnitudes summing to 4 over 4 pixels: the step is 1, and -1.75 steps become -1.
    CoefficientPlane l = SmallPlane(-1.75, 1.75, 0.25, -0.25);
    CoefficientPlane a = ZeroPlane(2), b = ZeroPlane(2);
    ShrinkStage4(oneThread, l, a, b, 2, 1, 2, 2, whole);
    ExpectPlane(l, -1.0, 1.0, 0.0, -0.0);
}

TEST_F(Shrink, DegeneratePlanesStayZeroWithoutNaN)
{
    // Stage 2 clears the whole L plane (every magnitude equals T): nothing is left to correct.
    CoefficientPlane l = SmallPlane(1.0, -1.0, 1.0, -1.0);
    CoefficientPlane a = ZeroPlane(2), b = ZeroPlane(2);
    ShrinkStages2And3(oneThread, settings, l, a, b, 2, 1, 2, 2, whole);
    ExpectPlane(l, 0.0, -0.0, 0.0, -0.0);
    ShrinkStage4(oneThread, l, a, b, 2, 1, 2, 2, whole);
    ExpectPlane(l, 0.0, -0.0, 0.0, -0.0);

    // All-zero planes go through every stage untouched.
    CoefficientPlane zl = ZeroPlane(8), za = ZeroPlane(8), zb = ZeroPlane(8);
    ShrinkCoefficients(settings, zl, za, zb, 8, 1, 5, 7);
    for (const CoefficientPlane* p : {&zl, &za, &zb})
        for (int k = 0; k < 64; ++k) ASSERT_TRUE(SameBits(p->data[k], 0.0)) << k;

    // Magnitudes so small that their mean underflows give a zero step: they become zero instead
    // of 0 x infinity.
    CoefficientPlane tiny = SmallPlane(4.9406564584124654e-324, 0.0, -4.9406564584124654e-324, 0.0);
    ShrinkStage4(oneThread, tiny, a, b, 2, 1, 2, 2, whole);
    ExpectPlane(tiny, 0.0, 0.0, -0.0, 0.0);
}

// Also the check that helper threads use the caller's settings, not their own defaults, and that
// their number does not matter: the 512 case is split over threads.
TEST_F(Shrink, AgreesWithTheLiteralStagesToTheBit)
{
    struct Case {
        std::int32_t size, width, height;
        int strength;
        bool correct;
        unsigned seed;
    };
    const Case cases[] = {{1, 1, 1, 50, true, 1},       {4, 3, 4, 50, true, 2},     {16, 16, 9, 99, true, 3},
                          {64, 40, 64, 1, false, 4},     {64, 64, 64, 51, true, 5}, {512, 300, 512, 49, true, 6},
                          {128, 128, 70, 50, false, 7}};
    for (const Case& k : cases)
        for (int threads : {1, 2, 3}) {
            CoefficientPlane engine[3], literal[3];
            for (int c = 0; c < 3; ++c) {
                std::mt19937 random(k.seed * 10 + c);
                std::normal_distribution<double> value(0.0, c == 0 ? 80.0 : 20.0);
                ASSERT_TRUE(AllocatePlane(k.size, engine[c]));
                ASSERT_TRUE(AllocatePlane(k.size, literal[c]));
                for (std::int32_t e = 0; e < k.size * k.size; ++e) engine[c].data[e] = literal[c].data[e] = value(random);
            }
            settings.filterStrength = static_cast<std::int8_t>(k.strength);
            settings.brightnessCorrection = k.correct;
            settings.threads = threads;
            const int coarse = CoarseSize(k.size);
            ShrinkCoefficients(settings, engine[0], engine[1], engine[2], k.size, coarse, k.width, k.height);
            CoefficientPlane* planes[3] = {&literal[0], &literal[1], &literal[2]};
            LiteralShrink(planes, k.size, coarse, double(k.width) * k.height, k.strength, k.correct);
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(std::memcmp(engine[c].data.get(), literal[c].data.get(), sizeof(double) * k.size * k.size), 0)
                    << "size " << k.size << " plane " << c << " threads " << threads;
        }
}

TEST_F(Shrink, QuantisationOfExtremeQuotients)
{
    // One coefficient so large that its quotient exceeds 2^52, where every double is whole, beside
    // quotients just under a half and just under a whole number.
    const double huge = 3e31;
    for (double small : {0.4999999999999999, 0.9999999999999999, 2.5, 4503599627370495.5}) {
        CoefficientPlane l = SmallPlane(huge, -huge / 1e16 * small, small, -small);
        CoefficientPlane copy = SmallPlane(l.data[0], l.data[1], l.data[2], l.data[3]);
        CoefficientPlane a = ZeroPlane(2), b = ZeroPlane(2);
        ShrinkStage4(oneThread, l, a, b, 2, 1, 1, 1, whole);
        const double q = NewtonSqrt(LiteralSum(copy, 0, 2, true));
        for (int e = 0; e < 4; ++e) EXPECT_TRUE(SameBits(l.data[e], std::trunc(copy.data[e] / q) * q)) << small << " " << e;
    }
}
