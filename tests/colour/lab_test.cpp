#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "colour/lab.h"
#include "engine/wide_loops.h"

namespace {

struct Lab {
    double l, a, b;
};

Lab ToLab(int r, int g, int b, int toneMode = 0)
{
    Lab lab{};
    EXPECT_TRUE(RgbToLab(toneMode, r, g, b, lab.l, lab.a, lab.b));
    return lab;
}

std::array<int, 3> ToRgb(double l, double a, double b, bool rgbCorrection = true)
{
    std::uint8_t r = 77, g = 77, bl = 77;
    EXPECT_TRUE(LabToRgb(rgbCorrection, l, a, b, r, g, bl));
    return {r, g, bl};
}

std::array<int, 3> RoundTrip(int r, int g, int b, int toneMode = 0)
{
    const Lab lab = ToLab(r, g, b, toneMode);
    return ToRgb(lab.l, lab.a, lab.b);
}

}  // namespace

TEST(RgbToLab, BlackIsExactlyZeroInEveryToneMode)
{
    for (int mode : {0, 1, 2, 3, -1, 7}) {
        const Lab lab = ToLab(0, 0, 0, mode);
        EXPECT_EQ(lab.l, 0.0) << mode;
        EXPECT_EQ(lab.a, 0.0) << mode;
        EXPECT_EQ(lab.b, 0.0) << mode;
    }
}

TEST(RgbToLab, KnownColoursInTheIdentityCurve)
{
    const Lab white = ToLab(255, 255, 255);
    EXPECT_NEAR(white.l, 99.9966, 5e-5);
    EXPECT_NEAR(white.a, 0.0251, 5e-5);
    EXPECT_NEAR(white.b, -0.0280, 5e-5);
    const Lab red = ToLab(255, 0, 0);
    EXPECT_NEAR(red.l, 54.2845, 5e-5);
    EXPECT_NEAR(red.a, 80.8400, 5e-5);
    EXPECT_NEAR(red.b, 69.8715, 5e-5);
    const Lab blue = ToLab(0, 0, 255);
    EXPECT_NEAR(blue.l, 29.5624, 5e-5);
    EXPECT_NEAR(blue.a, 68.3253, 5e-5);
    EXPECT_NEAR(blue.b, -112.0567, 5e-5);
    EXPECT_NEAR(ToLab(10, 10, 10).l, 2.7415, 5e-5);  // the linear branch of the companding
}

TEST(RgbToLab, ToneCurvesMapWhiteAsTheirFormulasSay)
{
    const Lab identity = ToLab(255, 255, 255);
    for (int mode : {1, 2}) {
        const Lab lab = ToLab(255, 255, 255, mode);
        EXPECT_NEAR(lab.l, identity.l, 1e-12) << mode;
        EXPECT_NEAR(lab.a, identity.a, 1e-12) << mode;
        EXPECT_NEAR(lab.b, identity.b, 1e-12) << mode;
    }
    EXPECT_NEAR(ToLab(255, 255, 255, 3).l, 99.5463, 5e-5);  // the darker curve lowers white too
}

TEST(RgbToLab, UnknownToneModesActAsTheIdentityCurve)
{
    const Lab identity = ToLab(200, 90, 30);
    for (int mode : {-1, 4, 127}) {
        const Lab lab = ToLab(200, 90, 30, mode);
        EXPECT_EQ(lab.l, identity.l);
        EXPECT_EQ(lab.a, identity.a);
        EXPECT_EQ(lab.b, identity.b);
    }
}

TEST(RgbToLab, OnlyTheLowByteOfASampleCounts)
{
    const Lab ten = ToLab(10, 200, 30);
    const Lab wrapped = ToLab(256 + 10, 200 - 512, 30 + 0x7F00);
    EXPECT_EQ(wrapped.l, ten.l);
    EXPECT_EQ(wrapped.a, ten.a);
    EXPECT_EQ(wrapped.b, ten.b);
}

TEST(LabToRgb, KnownColours)
{
    using Rgb = std::array<int, 3>;
    EXPECT_EQ(ToRgb(50, 0, 0), (Rgb{118, 118, 118}));
    EXPECT_EQ(ToRgb(100, 0, 0), (Rgb{254, 255, 254}));
    EXPECT_EQ(ToRgb(1, 0, 0), (Rgb{3, 3, 3}));
    EXPECT_EQ(ToRgb(50, 60, 0), (Rgb{205, 62, 121}));
    EXPECT_EQ(ToRgb(50, 0, 60), (Rgb{137, 117, 0}));  // blue clamped at 0
}

TEST(LabToRgb, NoLightnessIsBlackWhateverTheChroma)
{
    using Rgb = std::array<int, 3>;
    EXPECT_EQ(ToRgb(0, 80, -60), (Rgb{0, 0, 0}));
    EXPECT_EQ(ToRgb(-20, 0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(ToRgb(0.0 / 0.0, 0, 0), (Rgb{0, 0, 0}));
}

TEST(LabToRgb, OutOfRangeInputsClampPerSample)
{
    using Rgb = std::array<int, 3>;
    EXPECT_EQ(ToRgb(1e6, 0, 0), (Rgb{255, 255, 255}));
    const Rgb wild = ToRgb(60, 1e4, -1e4);
    for (int sample : wild) EXPECT_TRUE(sample == 0 || sample == 255) << sample;
}

TEST(LabConversions, ForwardAndBackLosesAtMostTheTruncation)
{
    using Rgb = std::array<int, 3>;
    EXPECT_EQ(RoundTrip(255, 255, 255), (Rgb{255, 255, 254}));
    EXPECT_EQ(RoundTrip(128, 128, 128), (Rgb{128, 128, 127}));
    EXPECT_EQ(RoundTrip(0, 0, 255), (Rgb{0, 0, 254}));
    // Never higher and never more than one level lower, over a spread of colours.
    for (int r = 5; r < 256; r += 25) {
        for (int g = 5; g < 256; g += 25) {
            for (int b = 5; b < 256; b += 25) {
                const Rgb back = RoundTrip(r, g, b);
                const Rgb in{r, g, b};
                for (int i = 0; i < 3; ++i) {
                    EXPECT_LE(back[i], in[i]) << r << ' ' << g << ' ' << b;
                    EXPECT_GE(back[i], in[i] - 1) << r << ' ' << g << ' ' << b;
                }
            }
        }
    }
}

TEST(LabConversions, TheToneCurveStaysInTheResult)
{
    using Rgb = std::array<int, 3>;
    const Rgb expected[] = {{180, 180, 180}, {106, 106, 106}, {63, 63, 63}};
    for (int mode = 1; mode <= 3; ++mode) {
        EXPECT_EQ(RoundTrip(128, 128, 128, mode), expected[mode - 1]) << mode;
    }
}

TEST(LabToRgb, RgbCorrectionOnlyMovesValuesAtABoundary)
{
    int differing = 0, total = 0;
    for (int l = 5; l <= 95; l += 10) {
        for (int a = -60; a <= 60; a += 12) {
            for (int b = -60; b <= 60; b += 12) {
                const std::array<int, 3> on = ToRgb(l, a, b, true);
                const std::array<int, 3> off = ToRgb(l, a, b, false);
                EXPECT_EQ(on[1], off[1]);  // green never changes
                for (int i : {0, 2}) EXPECT_LE(std::abs(on[i] - off[i]), 1);
                differing += on != off;
                ++total;
            }
        }
    }
    EXPECT_LT(differing * 10, total);
}

TEST(LabToRgb, AGreenOfExactlyZeroKeepsRedAndBlue)
{
    // This purple has a linear green of exactly 0. The RGB correction divides by green's share;
    // it must leave such a colour alone instead of turning red and blue into not-a-number, that
    // is into black.
    using Rgb = std::array<int, 3>;
    for (bool correction : {false, true}) {
        std::uint8_t r = 0, g = 0, b = 0;
        LabToRgbLiteral(correction, 28.491355444670507, 56.666104788508648, -53.452787448284539, r, g, b);
        EXPECT_EQ((Rgb{r, g, b}), (Rgb{113, 0, 152})) << correction;
        LabToRgb(correction, 28.491355444670507, 56.666104788508648, -53.452787448284539, r, g, b);
        EXPECT_EQ((Rgb{r, g, b}), (Rgb{113, 0, 152})) << correction;
    }
}

TEST(NormalizeChromaticity, KeepsTheMiddleValueAndMovesOthersOnlyByRounding)
{
    double x = 0.3, y = 0.5, z = 0.2;
    NormalizeChromaticity(x, y, z);
    EXPECT_EQ(y, 0.5);
    EXPECT_NEAR(x, 0.3, 1e-15);
    EXPECT_NEAR(z, 0.2, 1e-15);
}

TEST(LabToRgb, GivesTheBytesOfTheStepByStepConversionEverywhere)
{
    // The per-pixel and the row conversions leave out steps that only round; they must never
    // change a byte.
    std::uint32_t state = 99;
    const auto next = [&state](double low, double high) {
        state = state * 1664525u + 1013904223u;
        return low + (high - low) * (state / 4294967296.0);
    };
    std::vector<std::array<double, 3>> inputs;
    for (int i = 0; i < 400000; ++i)
        inputs.push_back({next(-5, 105), next(-140, 140), next(-140, 140)});
    for (int i = 0; i < 200000; ++i)  // the greys and near-greys of most photographs
        inputs.push_back({i * 0.0005, next(-0.5, 0.5), next(-0.5, 0.5)});
    for (double l : {1e-300, 1e-12, 1e-6, 0.001, 8.0, 8.000001, 99.99, 100.0, 300.0, 1e9})
        for (double ab : {-1e6, -500.0, -60.0, 0.0, 1e-9, 60.0, 500.0, 1e6})
            inputs.push_back({l, ab, -ab}), inputs.push_back({l, ab, ab});
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    inputs.push_back({50, nan, 0});
    inputs.push_back({50, 0, inf});
    inputs.push_back({inf, 0, 0});
    // The same inputs as rows, through both versions of the row loop.
    std::vector<double> rows[3];
    for (const auto& lab : inputs)
        for (int c = 0; c < 3; ++c) rows[c].push_back(lab[c]);
    const int count = static_cast<int>(inputs.size());
    std::vector<std::uint8_t> rowBytes(3 * inputs.size());
    int differing = 0;
    for (bool correction : {true, false}) {
        for (bool wide : {false, true}) {
            if (wide && !WideLoopsOn()) continue;
            LabRowToRgb(wide, correction, rows[0].data(), rows[1].data(), rows[2].data(), count, rowBytes.data());
            for (int i = 0; i < count; ++i) {
                const auto& lab = inputs[i];
                std::uint8_t quick[3], literal[3];
                LabToRgb(correction, lab[0], lab[1], lab[2], quick[0], quick[1], quick[2]);
                LabToRgbLiteral(correction, lab[0], lab[1], lab[2], literal[0], literal[1], literal[2]);
                const std::uint8_t fromRow[3] = {rowBytes[3 * i + 2], rowBytes[3 * i + 1], rowBytes[3 * i]};
                if ((std::memcmp(quick, literal, 3) != 0 || std::memcmp(fromRow, literal, 3) != 0) &&
                    ++differing <= 5)
                    ADD_FAILURE() << lab[0] << ' ' << lab[1] << ' ' << lab[2] << ' ' << correction << wide;
            }
        }
    }
    EXPECT_EQ(differing, 0);
}

TEST(RgbRowToLab, RowsGiveThePixelConversionsDoublesInBothLoopVersions)
{
    // Rows of 11 pixels: two groups of four and a remainder of three, over a spread of colours.
    for (int tone = 0; tone < 4; ++tone) {
        for (int start = 0; start < (1 << 24); start += 4099) {
            std::uint8_t row[33];
            for (int k = 0; k < 33; ++k) row[k] = static_cast<std::uint8_t>((start * 7 + k * 97) >> (k % 3 * 4));
            for (bool wide : {false, true}) {
                if (wide && !WideLoopsOn()) continue;
                double l[11], a[11], b[11];
                RgbRowToLab(wide, tone, row, 11, l, a, b);
                for (int x = 0; x < 11; ++x) {
                    double expected[3];
                    RgbToLab(tone, row[3 * x + 2], row[3 * x + 1], row[3 * x], expected[0], expected[1], expected[2]);
                    ASSERT_EQ(std::memcmp(&l[x], &expected[0], 8), 0) << tone << " " << start << " " << x;
                    ASSERT_EQ(std::memcmp(&a[x], &expected[1], 8), 0) << tone << " " << start << " " << x;
                    ASSERT_EQ(std::memcmp(&b[x], &expected[2], 8), 0) << tone << " " << start << " " << x;
                }
            }
        }
    }
}
