#include <gtest/gtest.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "engine/classic/classic_denoise.h"
#include "engine/denoise.h"
#include "engine/newton_sqrt.h"
#include "engine/settings.h"
#include "engine/wide_loops.h"
#include "imagefile/image.h"

namespace {

// A picture whose source rows hold reproducible noise around a few smooth shapes, with the
// working pixels and their padding set to a marker that a run must overwrite (pixels) or keep
// (padding).
struct TestPicture {
    Image image;
    TestPicture(int width, int height, std::uint32_t seed = 12345)
    {
        EXPECT_TRUE(AllocateImage(width, height, image));
        std::uint32_t state = seed;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                for (int c = 0; c < 3; ++c) {
                    state = state * 1664525u + 1013904223u;  // the same numbers on every platform
                    const int smooth = (x * 255 / width + y * (c + 1) * 40 / height) % 256;
                    const int noise = static_cast<int>(state >> 27) - 16;
                    const int v = smooth + noise;
                    image.rows[y][3 * x + c] = static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
                }
            }
        }
        std::memset(image.bits, 0xA5, static_cast<std::size_t>(RowStride(width) * height));
    }
    std::int64_t Stride() const { return RowStride(image.header->biWidth); }
    std::optional<QualityFigures> Denoise(const DenoiseSettings& settings = {}, const DenoiseHooks& hooks = {})
    {
        const DenoiseOutcome outcome = DenoiseImage(settings, hooks, image.header, image.bits, image.rows.get());
        if (!outcome.done) return std::nullopt;
        return outcome.figures;
    }
    std::vector<std::uint8_t> Bits() const
    {
        return {image.bits, image.bits + Stride() * image.header->biHeight};
    }
};

// FNV-1a over the working pixels.
std::uint64_t Checksum(const std::vector<std::uint8_t>& bytes)
{
    std::uint64_t hash = 14695981039346656037u;
    for (std::uint8_t b : bytes) hash = (hash ^ b) * 1099511628211u;
    return hash;
}

// Hooks that write down the progress the engine reports: 1 for Starting, 2 for Working.
DenoiseHooks RecordingHooks(std::vector<std::pair<int, int>>& progress)
{
    DenoiseHooks hooks;
    hooks.progress = [&progress](ProgressPhase phase, int percent) {
        progress.emplace_back(phase == ProgressPhase::Starting ? 1 : 2, percent);
    };
    return hooks;
}

}  // namespace

TEST(DenoiseLayout, SquareSideAndOffsets)
{
    struct Case {
        int width, height;
        std::int64_t size, rowOffset, colOffset;
    };
    for (const Case& c : {Case{1, 1, 1, 0, 0}, Case{256, 100, 256, 78, 0},
                          Case{257, 100, 512, 206, 127}, Case{640, 480, 1024, 272, 192},
                          Case{100, 257, 512, 127, 206}, Case{2, 1, 2, 0, 0}}) {
        const PlaneLayout layout = LayoutFor(c.width, c.height);
        EXPECT_EQ(layout.size, c.size) << c.width << 'x' << c.height;
        EXPECT_EQ(layout.rowOffset, c.rowOffset) << c.width << 'x' << c.height;
        EXPECT_EQ(layout.colOffset, c.colOffset) << c.width << 'x' << c.height;
    }
}

TEST(DenoiseLayout, MemoryNeedOfThePlanes)
{
    EXPECT_EQ(ClassicMemoryNeed(1, 1), 24);
    EXPECT_EQ(ClassicMemoryNeed(640, 480), 24LL << 20);
    EXPECT_EQ(ClassicMemoryNeed(1600, 1200), 96LL << 20);
    EXPECT_EQ(ClassicMemoryNeed(4097, 1), 24LL << 26);  // just above a power of two: four times
    EXPECT_EQ(ClassicMemoryNeed(0x7FFFFFFF, 1), INT64_MAX);
}

TEST(DenoiseScaling, ExactValuesAndExactRoundTrip)
{
    const double rootTwo = NewtonSqrt(2.0);
    double l = 100, a = 1, b = 0;
    ScaleIntoPlanes(rootTwo, l, a, b);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(l), std::bit_cast<std::uint64_t>(282.842712474619));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(a), std::bit_cast<std::uint64_t>(5.656854249492381));
    EXPECT_EQ(b, 0.0);
    ScaleOutOfPlanes(rootTwo, l, a, b);
    EXPECT_EQ(l, 100.0);
    EXPECT_EQ(a, 1.0);

    l = 0;
    ScaleIntoPlanes(rootTwo, l, a, b);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(l), std::bit_cast<std::uint64_t>(-282.842712474619));
    ScaleOutOfPlanes(rootTwo, l, a, b);
    EXPECT_EQ(l, 0.0);
}

TEST(DenoiseImage, WritesEveryPixelButNoPaddingAndRepeatsItself)
{
    for (int width : {1, 2, 3, 5, 8}) {
        TestPicture picture(width, 6);
        ASSERT_TRUE(picture.Denoise());
        const std::vector<std::uint8_t> first = picture.Bits();
        for (int y = 0; y < 6; ++y) {
            for (std::int64_t i = 3 * width; i < picture.Stride(); ++i)
                EXPECT_EQ(first[y * picture.Stride() + i], 0xA5) << width << ' ' << y;
        }
        // The run starts from the source rows, whatever the working pixels hold.
        std::memset(picture.image.bits, 0x3C, static_cast<std::size_t>(3 * width));
        ASSERT_TRUE(picture.Denoise());
        EXPECT_EQ(picture.Bits(), first) << width;
    }
}

TEST(DenoiseImage, OnePixelGoesStraightThroughTheShrinkage)
{
    TestPicture picture(1, 1);
    ASSERT_TRUE(picture.Denoise());
    EXPECT_EQ(picture.image.bits[3], 0xA5);
}

TEST(DenoiseImage, HelperThreadsUseTheCallersSettings)
{
    DenoiseSettings settings;
    settings.colour.toneMode = 3;
    settings.colour.rgbCorrection = 0;
    settings.filterStrength = 80;
    settings.brightnessCorrection = 0;
    TestPicture picture(61, 45);
    settings.threads = 1;
    ASSERT_TRUE(picture.Denoise(settings));
    const std::vector<std::uint8_t> alone = picture.Bits();
    settings.threads = 4;
    ASSERT_TRUE(picture.Denoise(settings));
    EXPECT_EQ(picture.Bits(), alone);
}

TEST(DenoiseImage, WideAndBaselineLoopsGiveTheSameBytes)
{
    if (!WideLoopsOn()) GTEST_SKIP() << "the processor has no AVX2";
    DenoiseSettings settings;
    settings.colour.toneMode = 2;
    TestPicture picture(67, 41);
    const std::optional<QualityFigures> wideFigures = picture.Denoise(settings);
    ASSERT_TRUE(wideFigures);
    const std::vector<std::uint8_t> wide = picture.Bits();
    LimitLoops(LoopWidth::baseline);
    const std::optional<QualityFigures> figures = picture.Denoise(settings);
    LimitLoops(LoopWidth::avx512);
    ASSERT_TRUE(figures);
    EXPECT_EQ(picture.Bits(), wide);
    EXPECT_EQ(figures->lumaSnr, wideFigures->lumaSnr);
    EXPECT_EQ(figures->chromaSnr, wideFigures->chromaSnr);
}

TEST(DenoiseImage, GoldenChecksums)
{
    // Recorded from the first native build; every platform must give the same bytes and figures.
    TestPicture picture(37, 23);
    std::optional<QualityFigures> figures = picture.Denoise();
    ASSERT_TRUE(figures);
    EXPECT_EQ(Checksum(picture.Bits()), 0x5362e76f7cdaf2a5u);
    EXPECT_EQ(figures->lumaSnr, 15.7772903f);
    EXPECT_EQ(figures->chromaSnr, 16.9397469f);

    DenoiseSettings settings;
    settings.filterStrength = 99;
    settings.colour.toneMode = 3;
    figures = picture.Denoise(settings);
    ASSERT_TRUE(figures);
    EXPECT_EQ(Checksum(picture.Bits()), 0xd00422d6938a8bceu);
    EXPECT_EQ(figures->lumaSnr, 0.0f);  // the strong, dark result is too far from the source to score
    EXPECT_EQ(figures->chromaSnr, 1.4098891f);
}

TEST(DenoiseImage, ReportsProgressAndWhenTheResultIsFinal)
{
    std::vector<std::pair<int, int>> progress;
    DenoiseHooks hooks = RecordingHooks(progress);
    TestPicture picture(40, 30);
    // The caller hears once, after the pixels are written, that they are final.
    std::vector<std::vector<std::uint8_t>> ready;
    hooks.resultReady = [&] { ready.push_back(picture.Bits()), progress.emplace_back(-1, -1); };
    const std::optional<QualityFigures> figures = picture.Denoise({}, hooks);
    ASSERT_TRUE(figures);
    const std::vector<std::pair<int, int>> expected = {{1, 0},  {2, 1},  {2, 10}, {2, 20}, {2, 30},   {2, 40},
                                                       {2, 50}, {2, 60}, {2, 70}, {2, 80}, {2, 90}, {-1, -1},
                                                       {2, 100}};
    EXPECT_EQ(progress, expected);
    EXPECT_EQ(ready, std::vector<std::vector<std::uint8_t>>{picture.Bits()});

    // Without hooks the same run measures silently.
    const std::optional<QualityFigures> silent = picture.Denoise();
    ASSERT_TRUE(silent);
    EXPECT_EQ(silent->lumaSnr, figures->lumaSnr);
    EXPECT_EQ(progress.size(), expected.size());
}

TEST(DenoiseImage, PictureTooLargeForMemoryIsRefusedUntouched)
{
    std::vector<std::pair<int, int>> progress;
    const DenoiseHooks hooks = RecordingHooks(progress);
    // The header claims a height whose square no address space holds; the engine must refuse it
    // before it touches a pixel.
    TestPicture picture(3, 2);
    BitmapInfoHeader huge = *picture.image.header;
    huge.biHeight = 0x7FFFFFFF;
    const std::vector<std::uint8_t> before = picture.Bits();
    EXPECT_FALSE(DenoiseImage({}, hooks, &huge, picture.image.bits, picture.image.rows.get()).done);
    EXPECT_EQ(picture.Bits(), before);
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{1, 0}}));
}

TEST(DenoiseImage, PlanesBeyondTheAddressSpaceAreRefusedUntouched)
{
    // A tall, thin picture: 1 x 20000 pixels need a 32768-wide square, 24 GiB of planes, which a
    // 32-bit program cannot hold.
    if (sizeof(void*) != 4) GTEST_SKIP() << "only in a 32-bit process: 24 GiB of planes are beyond its address space";
    TestPicture picture(1, 20000);
    const std::vector<std::uint8_t> before = picture.Bits();
    EXPECT_EQ(ClassicMemoryNeed(1, 20000), 24LL << 30);
    EXPECT_FALSE(picture.Denoise());
    EXPECT_EQ(picture.Bits(), before);
}

TEST(DenoiseImage, RefusesSizesThatAreNotPositive)
{
    TestPicture picture(3, 2);
    BitmapInfoHeader empty = *picture.image.header;
    empty.biWidth = 0;
    const std::vector<std::uint8_t> before = picture.Bits();
    EXPECT_FALSE(DenoiseImage({}, {}, &empty, picture.image.bits, picture.image.rows.get()).done);
    empty.biWidth = 3;
    empty.biHeight = -2;
    EXPECT_FALSE(DenoiseImage({}, {}, &empty, picture.image.bits, picture.image.rows.get()).done);
    EXPECT_EQ(picture.Bits(), before);
}
