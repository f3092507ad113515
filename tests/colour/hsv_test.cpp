#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "colour/hsv.h"

namespace {

struct Hsv {
    float h, s, v;
};

Hsv ToHsv(int r, int g, int b)
{
    Hsv out{-1, -1, -1};
    EXPECT_TRUE(RgbToHsv(r, g, b, out.h, out.s, out.v));
    return out;
}

std::array<int, 3> ToRgb(float h, float s, float v)
{
    std::uint8_t r = 1, g = 1, b = 1;
    EXPECT_TRUE(HsvToRgb(h, s, v, &r, &g, &b));
    return {r, g, b};
}

void ExpectHsv(int r, int g, int b, float h, float s, float v)
{
    const Hsv got = ToHsv(r, g, b);
    EXPECT_EQ(got.h, h) << r << "," << g << "," << b;
    EXPECT_EQ(got.s, s) << r << "," << g << "," << b;
    EXPECT_EQ(got.v, v) << r << "," << g << "," << b;
}

}  // namespace

TEST(SortThree, OrdersEveryPermutation)
{
    const float permutations[6][3] = {{1, 2, 3}, {1, 3, 2}, {2, 1, 3}, {2, 3, 1}, {3, 1, 2}, {3, 2, 1}};
    for (const auto& p : permutations) {
        float sorted[3];
        EXPECT_TRUE(SortThree(p[0], p[1], p[2], sorted));
        EXPECT_EQ(sorted[0], 1.0f);
        EXPECT_EQ(sorted[1], 2.0f);
        EXPECT_EQ(sorted[2], 3.0f);
    }
    float sorted[3];
    SortThree(5, 5, -1, sorted);
    EXPECT_EQ(sorted[0], -1.0f);
    EXPECT_EQ(sorted[2], 5.0f);
}

TEST(RgbToHsv, GreysHaveNoHueOrSaturation)
{
    ExpectHsv(0, 0, 0, 0, 0, 0);
    ExpectHsv(128, 128, 128, 0, 0, 51);
    ExpectHsv(1, 1, 1, 0, 0, 1);
    ExpectHsv(255, 255, 255, 0, 0, 100);  // 255 x 0.3921 = 99.98..., rounded up
}

TEST(RgbToHsv, PrimariesAndSecondaries)
{
    ExpectHsv(255, 0, 0, 0, 100, 100);  // saturation 255 / 256 x 100 = 99.6, rounded up
    ExpectHsv(0, 255, 0, 120, 100, 100);
    ExpectHsv(0, 0, 255, 240, 100, 100);
    ExpectHsv(255, 0, 255, 300, 100, 100);
    // The divisor max - min + 1 keeps these just below the next sixth.
    ExpectHsv(255, 255, 0, 59, 100, 100);
    ExpectHsv(0, 255, 255, 179, 100, 100);
}

TEST(RgbToHsv, UsesOnlyTheLowByteOfEachArgument)
{
    ExpectHsv(0x1FF, 0x100, 0x200, 0, 100, 100);
    ExpectHsv(-1, -256, -256, 0, 100, 100);  // 0xFF, 0x00, 0x00
}

TEST(RgbToHsv, RedMaxWithMoreBlueThanGreenWrapsBelowMagenta)
{
    // (255 - 100) / 256 x 60 + 300 = 336.3
    EXPECT_EQ(ToHsv(255, 0, 100).h, 336.0f);
    // Red ties with blue for max: the red test comes first.
    EXPECT_EQ(ToHsv(200, 10, 200).h, 300.0f);
}

TEST(HsvToRgb, FullColoursAtTheSectorBorders)
{
    EXPECT_EQ(ToRgb(0, 1, 1), (std::array<int, 3>{255, 0, 0}));
    EXPECT_EQ(ToRgb(120, 1, 1), (std::array<int, 3>{0, 255, 0}));
    EXPECT_EQ(ToRgb(240, 1, 1), (std::array<int, 3>{0, 0, 255}));
    // Sector 5, f = 0.9833..., q x 255 = 4.25 truncated
    EXPECT_EQ(ToRgb(359, 1, 1), (std::array<int, 3>{255, 0, 4}));
    EXPECT_EQ(ToRgb(59, 1, 1), (std::array<int, 3>{255, 250, 0}));
}

TEST(HsvToRgb, BlackAndGreysIgnoreTheOtherInputs)
{
    EXPECT_EQ(ToRgb(200, 0.7f, 0), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(ToRgb(200, 0, 0.25f), (std::array<int, 3>{63, 63, 63}));  // 63.75 truncated
    EXPECT_EQ(ToRgb(0, 0, 1), (std::array<int, 3>{255, 255, 255}));
}

TEST(HsvToRgb, ClampsInputsOutOfRange)
{
    EXPECT_EQ(ToRgb(400, 2, -1), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(ToRgb(400, 2, 5), ToRgb(359, 1, 1));
    EXPECT_EQ(ToRgb(-30, 1, 1), (std::array<int, 3>{255, 0, 0}));
    EXPECT_EQ(ToRgb(180, -1, 0.5f), (std::array<int, 3>{127, 127, 127}));
}

TEST(HsvToRgb, WritesThroughEachAddressSoPixelsCanBeFilledInPlace)
{
    std::uint8_t pixel[4] = {9, 9, 9, 9};  // blue, green, red, then a byte that must stay
    HsvToRgb(240, 1, 1, &pixel[2], &pixel[1], &pixel[0]);
    EXPECT_EQ(pixel[0], 255);
    EXPECT_EQ(pixel[1], 0);
    EXPECT_EQ(pixel[2], 0);
    EXPECT_EQ(pixel[3], 9);
}

TEST(HsvRoundTrip, FullySaturatedHuesComeBackWithinTheCompressedScale)
{
    // RgbToHsv compresses hues by 255/256 inside each sixth, so a full colour comes back at most
    // one degree lower (and at most one level lower per byte through HsvToRgb).
    for (int hue = 0; hue < 360; ++hue) {
        const auto rgb = ToRgb(static_cast<float>(hue), 1, 1);
        const Hsv back = ToHsv(rgb[0], rgb[1], rgb[2]);
        EXPECT_LE(back.h, static_cast<float>(hue)) << hue;
        EXPECT_GE(back.h, static_cast<float>(hue) - 2.0f) << hue;
        EXPECT_EQ(back.s, 100.0f) << hue;
        EXPECT_EQ(back.v, 100.0f) << hue;
    }
}
