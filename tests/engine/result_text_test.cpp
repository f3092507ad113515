#include <gtest/gtest.h>

#include <string>

#include "engine/result_text.h"

TEST(ResultText, TheFiveTextsInTheirOrder)
{
    EXPECT_STREQ(resultTexts[captionText], " PSNR");
    EXPECT_STREQ(resultTexts[brightnessLabel], "明るさ");
    EXPECT_STREQ(resultTexts[tintLabel], "色味");
    EXPECT_STREQ(resultTexts[notMeasurableText], "測定不可");
    EXPECT_STREQ(resultTexts[timeLabel], "所要時間");
}

TEST(ResultText, BothMeasured)
{
    EXPECT_EQ(FormatResultText(31.25f, 42.5f, 3),
              "明るさ\t : 31.250000\n\n色味\t : 42.500000\n\n所要時間\t : 3秒\n\n");
}

TEST(ResultText, NeitherMeasurableShowsNoNumber)
{
    EXPECT_EQ(FormatResultText(0.0f, 0.0f, 0),
              "明るさ\t : 測定不可\n\n色味\t : 測定不可\n\n所要時間\t : 0秒\n\n");
}

TEST(ResultText, OnlyTintMeasured)
{
    EXPECT_EQ(FormatResultText(0.0f, 99.9f, 12),
              "明るさ\t : 測定不可\n\n色味\t : 99.900002\n\n所要時間\t : 12秒\n\n");
}

TEST(ResultText, OnlyBrightnessMeasured)
{
    // The single-precision figure is widened to double before printing: 0.1f shows its own digits.
    EXPECT_EQ(FormatResultText(0.1f, 0.0f, 1),
              "明るさ\t : 0.100000\n\n色味\t : 測定不可\n\n所要時間\t : 1秒\n\n");
    EXPECT_EQ(FormatResultText(12.345678f, 0.0f, 1),
              "明るさ\t : 12.345678\n\n色味\t : 測定不可\n\n所要時間\t : 1秒\n\n");
}
