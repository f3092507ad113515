#include <gtest/gtest.h>

#include "support/result_text.h"

// Each figure on its own: a measured one with six decimals of the widened single-precision value,
// a figure of 0 as "not measurable", in either line and in both, and the whole seconds last.
TEST(ResultText, EachFigureMeasuredOrNotInItsOwnLine)
{
    const struct {
        float luma, chroma;
        int seconds;
        const char* text;
    } cases[] = {
        {31.25f, 42.5f, 3, "明るさ\t : 31.250000\n\n色味\t : 42.500000\n\n所要時間\t : 3秒\n\n"},
        {0.0f, 0.0f, 0, "明るさ\t : 測定不可\n\n色味\t : 測定不可\n\n所要時間\t : 0秒\n\n"},
        {0.0f, 99.9f, 12, "明るさ\t : 測定不可\n\n色味\t : 99.900002\n\n所要時間\t : 12秒\n\n"},
        {12.345678f, 0.0f, 1, "明るさ\t : 12.345678\n\n色味\t : 測定不可\n\n所要時間\t : 1秒\n\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatResultText(c.luma, c.chroma, c.seconds), c.text) << c.text;
    EXPECT_STREQ(resultTexts[captionText], " PSNR");
}
