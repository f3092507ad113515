#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "engine/newton_sqrt.h"
#include "engine/parallel_for.h"
#include "engine/quality.h"
#include "engine/wide_loops.h"
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
    QualityFigures Measure()
    {
        WorkerTeam team(0);
        return MeasureQuality(team, image.header, image.bits, image.rows.get());
    }
};

// The measurement as a plain loop over the pixels in order, to hold the threaded one against.
void LiteralMeasure(const Image& image, float& luma, float& chroma)
{
    const double w[9] = {0.257f, 0.504f, 0.098f, 0.439f, 0.368f, 0.071f, 0.148f, 0.291f, 0.439f};
    const int width = image.header->biWidth, height = image.header->biHeight;
    const double count = double(width) * height;
    double max[2][3] = {}, min[2][3] = {{255, 255, 255}, {255, 255, 255}}, error[3] = {};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* pixel[2] = {image.rows[y] + 3 * x,
                                            image.bits + y * RowStride(width) + 3 * x};
            double c[2][3];
            for (int k = 0; k < 2; ++k) {
                const double r = pixel[k][2], g = pixel[k][1], b = pixel[k][0];
                c[k][0] = ((w[0] * r + w[1] * g) + w[2] * b) + 16;
                c[k][1] = (w[3] * r - w[4] * g) - w[5] * b;
                c[k][2] = (-w[6] * r - w[7] * g) + w[8] * b;
                for (int i = 0; i < 3; ++i) {
                    max[k][i] = std::max(max[k][i], c[k][i]);
                    min[k][i] = std::min(min[k][i], c[k][i]);
                }
            }
            for (int i = 0; i < 3; ++i)
                error[i] = ((c[0][i] - c[1][i]) * (c[0][i] - c[1][i])) / count + error[i];
        }
    }
    double range[3];
    for (int i = 0; i < 3; ++i) range[i] = (max[0][i] + max[1][i]) / 2 - (min[0][i] + min[1][i]) / 2;
    luma = QualityFigure(10 * std::log(range[0] / error[0]));
    chroma = QualityFigure(10 * std::log(NewtonSqrt(range[1] * range[1] + range[2] * range[2]) /
                                         NewtonSqrt(error[1] * error[1] + error[2] * error[2])));
}

}  // namespace

TEST(MeasureQuality, LargePicturesSumInPixelOrderOnAnyNumberOfThreadsWithEitherLoops)
{
    // More pixels than one band of terms, rows with padding, pieces that end inside rows.
    Image image;
    ASSERT_TRUE(AllocateImage(701, 401, image));
    std::uint32_t state = 7;
    for (std::int64_t i = 0; i < RowStride(701) * 401; ++i) {
        state = state * 1664525u + 1013904223u;
        image.bits[i] = static_cast<std::uint8_t>(state >> 24);
    }
    for (int y = 0; y < 401; ++y) {
        for (int i = 0; i < 3 * 701; ++i) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>(state >> 29) - 4;
            image.rows[y][i] = static_cast<std::uint8_t>(std::clamp(image.bits[y * RowStride(701) + i] + noise, 0, 255));
        }
    }
    float luma = 0, chroma = 0;
    LiteralMeasure(image, luma, chroma);
    ASSERT_GT(luma, 0.0f);
    ASSERT_GT(chroma, 0.0f);
    for (LoopWidth width : {LoopWidth::avx512, LoopWidth::baseline}) {
        LimitLoops(width);
        for (int n : {1, 3}) {
            WorkerTeam team(n);
            const QualityFigures figures = MeasureQuality(team, image.header, image.bits, image.rows.get());
            EXPECT_EQ(std::bit_cast<std::uint32_t>(figures.lumaSnr), std::bit_cast<std::uint32_t>(luma)) << n;
            EXPECT_EQ(std::bit_cast<std::uint32_t>(figures.chromaSnr), std::bit_cast<std::uint32_t>(chroma)) << n;
        }
    }
    LimitLoops(LoopWidth::avx512);
}

TEST(MeasureQuality, IdenticalPicturesAreNotMeasurable)
{
    Image image;
    ASSERT_TRUE(AllocateImage(7, 5, image));
    for (int i = 0; i < 7 * 5 * 3; ++i) image.sourcePixels[i] = static_cast<std::uint8_t>(i * 37);
    const std::int64_t stride = RowStride(7);
    for (int y = 0; y < 5; ++y) std::memcpy(image.bits + y * stride, image.rows[y], 21);
    WorkerTeam team(0);
    const QualityFigures figures = MeasureQuality(team, image.header, image.bits, image.rows.get());
    EXPECT_EQ(figures.lumaSnr, 0.0f);
    EXPECT_EQ(figures.chromaSnr, 0.0f);
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
    const QualityFigures figures = column.Measure();
    // Worked out independently from the weights as floats, in double arithmetic.
    EXPECT_FLOAT_EQ(figures.lumaSnr, 70.3798828125f);
    EXPECT_FLOAT_EQ(figures.chromaSnr, 69.43248748779297f);
}

TEST(MeasureQuality, APictureWithoutPixelsIsNotMeasurable)
{
    Column column(2);
    BitmapInfoHeader header = *column.image.header;
    for (const auto& [width, height] : {std::pair{0, 2}, std::pair{1, -2}, std::pair{-1, -1}}) {
        header.biWidth = width;
        header.biHeight = height;
        WorkerTeam team(0);
        const QualityFigures figures = MeasureQuality(team, &header, column.image.bits, column.image.rows.get());
        EXPECT_EQ(figures.lumaSnr, 0.0f);
        EXPECT_EQ(figures.chromaSnr, 0.0f);
    }
}

TEST(MeasureQuality, AUniformBrightnessWithAnErrorIsNotMeasurable)
{
    // Both pictures uniform, one level apart: the range is 0 and its logarithm is no figure.
    Column column(2);
    for (int y = 0; y < 2; ++y) column.Set(y, {128, 128, 128}, {127, 127, 127});
    EXPECT_EQ(column.Measure().lumaSnr, 0.0f);
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
