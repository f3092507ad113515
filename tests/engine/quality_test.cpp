#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "engine/quality.h"
#include "engine/settings.h"
#include "imagefile/image.h"

namespace {

// A picture whose source rows and working pixels are given separately, one pixel per row.
struct Column {
    Image image;
    explicit Column(int height) { EXPECT_TRUE(AllocateImage(1, height, image)); }
    void Set(int y, const std::uint8_t (&source)[3], const std::uint8_t (&result)[3])
    {
        std::memcpy(image.rows[y], source, 3);
        std::memcpy(image.bits + y * RowStride(1), result, 3);
    }
    void Measure() { EXPECT_TRUE(MeasureQuality(image.header, image.bits, image.rows.get())); }
};

}  // namespace

TEST(MeasureQuality, IdenticalPicturesAreNotMeasurable)
{
    Image image;
    ASSERT_TRUE(AllocateImage(7, 5, image));
    for (int i = 0; i < 7 * 5 * 3; ++i) image.sourcePixels[i] = static_cast<std::uint8_t>(i * 37);
    const std::int64_t stride = RowStride(7);
    for (int y = 0; y < 5; ++y) std::memcpy(image.bits + y * stride, image.rows[y], 21);
    lumaSnr = chromaSnr = 12.0f;
    EXPECT_TRUE(MeasureQuality(image.header, image.bits, image.rows.get()));
    EXPECT_EQ(lumaSnr, 0.0f);
    EXPECT_EQ(chromaSnr, 0.0f);
}

TEST(MeasureQuality, KnownFiguresOfANarrowPictureIgnoringItsPadding)
{
    // Blue, green, red in memory. Each working row of a 1-pixel-wide picture carries one padding
    // byte that must be stepped over and never read as a sample.
    Column column(3);
    column.Set(0, {30, 20, 10}, {30, 20, 10});
    column.Set(1, {50, 100, 200}, {50, 100, 201});
    column.Set(2, {240, 180, 90}, {240, 179, 90});
    for (int y = 0; y < 3; ++y) column.image.bits[y * 4 + 3] = 0xEE;
    column.Measure();
    // Worked out independently from the weights as floats, in double arithmetic.
    EXPECT_FLOAT_EQ(lumaSnr, 70.3798828125f);
    EXPECT_FLOAT_EQ(chromaSnr, 69.43248748779297f);
}

TEST(MeasureQuality, AUniformBrightnessWithAnErrorIsNotMeasurable)
{
    // Both pictures uniform, one level apart: the range is 0 and its logarithm is no figure.
    Column column(2);
    for (int y = 0; y < 2; ++y) column.Set(y, {128, 128, 128}, {127, 127, 127});
    lumaSnr = 12.0f;
    column.Measure();
    EXPECT_EQ(lumaSnr, 0.0f);
}

TEST(QualityFigure, KeepsZeroToNinetyNinePointNineOnly)
{
    EXPECT_EQ(QualityFigure(99.9f), 99.9f);
    EXPECT_EQ(QualityFigure(std::nextafter(99.9f, 100.0f)), 0.0f);
    EXPECT_EQ(QualityFigure(99.90000001), 99.9f);  // rounds to 99.9 in single precision
    EXPECT_EQ(QualityFigure(150.0), 0.0f);
    EXPECT_EQ(QualityFigure(0.0), 0.0f);
    EXPECT_EQ(QualityFigure(17.5), 17.5f);
    EXPECT_EQ(QualityFigure(-0.25), 0.0f);
    EXPECT_EQ(QualityFigure(std::numeric_limits<double>::infinity()), 0.0f);
    EXPECT_EQ(QualityFigure(-std::numeric_limits<double>::infinity()), 0.0f);
    EXPECT_EQ(QualityFigure(std::numeric_limits<double>::quiet_NaN()), 0.0f);
}
