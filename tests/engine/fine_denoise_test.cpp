#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/denoise.h"
#include "engine/wide_loops.h"
#include "imagefile/image.h"
#include "tests/engine/noisy_picture.h"

namespace {

// A triangle wave of period 400 between 0 and 1.
double Triangle(int t)
{
    return std::abs(t % 400 - 200) / 200.0;
}

// Smooth shapes with sharp borders, in colour; whole-number arithmetic, so every build draws the
// same picture.
double Scene(int x, int y, int c)
{
    const double smooth = 40 + 80 * Triangle(2 * x + 60 * c) + 60 * Triangle(3 * y + 100);
    const bool disc = (x - 150) * (x - 150) + (y - 100) * (y - 100) < 60 * 60;
    return disc ? smooth + 80 - 30 * c : smooth;
}

DenoiseSettings FineSettings(int threads = 0, int strength = 50)
{
    DenoiseSettings settings;
    settings.method = Method::Fine;
    settings.threads = threads;
    settings.filterStrength = static_cast<std::int8_t>(strength);
    return settings;
}

DenoiseOutcome FineRun(Image& image, int threads = 0, int strength = 50)
{
    return DenoiseImage(FineSettings(threads, strength), {}, image.header, image.bits, image.rows.get());
}

std::vector<std::uint8_t> Bits(const Image& image)
{
    return {image.bits, image.bits + RowStride(image.header->biWidth) * image.header->biHeight};
}

std::uint64_t Checksum(const std::vector<std::uint8_t>& bytes)
{
    std::uint64_t hash = 14695981039346656037u;
    for (std::uint8_t b : bytes) hash = (hash ^ b) * 1099511628211u;
    return hash;
}

// The mean and standard deviation of the green samples of the working pixels.
void GreenStatistics(const Image& image, double& mean, double& deviation)
{
    const int width = image.header->biWidth, height = image.header->biHeight;
    double sum = 0, squares = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double v = image.bits[y * RowStride(width) + 3 * x + 1];
            sum += v;
            squares += v * v;
        }
    const double n = static_cast<double>(width) * height;
    mean = sum / n;
    deviation = std::sqrt(squares / n - mean * mean);
}

// The preview's crop of the area holds the same bytes as the picture's whole result there.
void ExpectCropEqualsWhole(Image& picture, const PictureArea& area, const DenoiseSettings& settings)
{
    Image crop;
    ASSERT_TRUE(AllocateImage(128, 128, crop));
    const DenoiseOutcome outcome = DenoiseCrop(settings, picture.header, picture.rows.get(), area, crop);
    ASSERT_TRUE(outcome.done);
    for (int y = 0; y < area.height; ++y)
        ASSERT_EQ(0, std::memcmp(crop.bits + y * RowStride(128),
                                 picture.bits + (area.top + y) * RowStride(picture.header->biWidth) + 3 * area.left,
                                 3 * static_cast<std::size_t>(area.width)))
            << area.left << ", " << area.top << " row " << y << ", " << settings.threads << " threads";
}

}  // namespace

// The same bytes in every build and for any number of threads; a picture of several tiles and
// uneven last tiles (the same bytes as one tile holding it whole), and two smaller than a tile.
// The padding bytes keep their marker.
TEST(FineDenoise, GoldenChecksumsForAnyThreadCount)
{
    Image large = MakePicture(1001, 459, 12, Scene);
    ASSERT_TRUE(FineRun(large, 1).done);
    const std::vector<std::uint8_t> single = Bits(large);
    EXPECT_EQ(Checksum(single), 0x6d7b04a98e4d0094u);
    for (int threads : {2, 3, 7}) {
        ASSERT_TRUE(FineRun(large, threads).done);
        EXPECT_EQ(Bits(large), single) << threads << " threads";
    }
    EXPECT_EQ(single[3 * 1001], 0xA5);  // the first row's padding byte

    Image small = MakePicture(37, 5, 20, Scene);
    ASSERT_TRUE(FineRun(small).done);
    EXPECT_EQ(Checksum(Bits(small)), 0xf6075f8d9a1d83a7u);
    Image least = MakePicture(8, 8, 20, Scene);  // the smallest the stage takes, every pass and step
    ASSERT_TRUE(FineRun(least).done);
    EXPECT_EQ(Checksum(Bits(least)), 0x7f0a347122beac47u);
}

// The loops built for AVX-512, AVX2 and the baseline give the same bytes, as far as the processor
// runs them.
TEST(FineDenoise, WideAndBaselineLoopsGiveTheSameBytes)
{
    if (!WideLoopsOn()) GTEST_SKIP() << "the processor has no AVX2";
    Image picture = MakePicture(150, 90, 15, Scene);
    ASSERT_TRUE(FineRun(picture, 1).done);
    const std::vector<std::uint8_t> widest = Bits(picture);
    for (LoopWidth width : {LoopWidth::baseline, LoopWidth::avx2}) {
        if (width >= SupportedLoops()) continue;
        LimitLoops(width);
        const bool done = FineRun(picture, 1).done;
        LimitLoops(LoopWidth::avx512);
        ASSERT_TRUE(done);
        EXPECT_EQ(Bits(picture), widest) << static_cast<int>(width);
    }
}

// Noise measured on the picture: seeded noise of deviation 10 on grey is measured within 5 %,
// in brightness and colour alike, and the flat grey comes back at least 10 times flatter and
// just as bright.
TEST(FineDenoise, FlatNoisyGreyComesBackFlatter)
{
    Image grey = MakePicture(512, 384, 10, [](int, int, int) { return 128.0; });
    const DenoiseOutcome outcome = FineRun(grey);
    ASSERT_TRUE(outcome.done);
    for (float sigma : outcome.noiseSigma) EXPECT_NEAR(sigma, 10.0, 0.5);
    double mean, deviation;
    GreenStatistics(grey, mean, deviation);
    EXPECT_LT(deviation, 10.0 / 10);
    EXPECT_NEAR(mean, 128.0, 0.5);
}

// Noise clipped at black and white raises the noisy mean of dark parts and lowers that of bright
// ones (by 7 levels here); the result keeps the scene's levels: halves of 12 and 243 under noise of
// deviation 30 come back within 1.5 levels of them. No part of the picture shows the noise
// unclipped, so the correction must undo what clipping did to the measured deviation too.
TEST(FineDenoise, ClippedNoiseKeepsTheLevelsNearBlackAndWhite)
{
    const int width = 512, height = 384, half = height / 2;
    Image picture = MakePicture(width, height, 30, [&](int, int y, int) { return y < half ? 12.0 : 243.0; });
    ASSERT_TRUE(FineRun(picture).done);
    const auto rowsMean = [&](int first, int last) {
        double sum = 0;
        for (int y = first; y < last; ++y)
            for (int i = 0; i < 3 * width; ++i) sum += picture.bits[y * RowStride(width) + i];
        return sum / (3.0 * width * (last - first));
    };
    EXPECT_NEAR(rowsMean(0, half - 16), 12.0, 1.5);
    EXPECT_NEAR(rowsMean(half + 16, height), 243.0, 1.5);
}

// A vertical step from 64 to 192 under noise of deviation 10: averaged down the columns, its
// rise from 10 % to 90 % of the step is at most a pixel wider than the clean step's 0.8 pixel.
TEST(FineDenoise, StepEdgeStaysSharp)
{
    const int width = 256, height = 256, step = 128;
    Image edge = MakePicture(width, height, 10, [&](int x, int, int) { return x < step ? 64.0 : 192.0; });
    ASSERT_TRUE(FineRun(edge).done);
    std::vector<double> profile(width, 0.0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) profile[x] += edge.bits[y * RowStride(width) + 3 * x + 1] / double(height);
    const auto crossing = [&](double level) {
        for (int x = 1; x < width; ++x)
            if (profile[x] >= level) return x - 1 + (level - profile[x - 1]) / (profile[x] - profile[x - 1]);
        return double(width);
    };
    const double width1090 = crossing(64 + 0.9 * 128) - crossing(64 + 0.1 * 128);
    EXPECT_LE(width1090, 0.8 + 1.0);
}

// A picture without noise measures next to none and comes back almost as it was: no sample moves
// by more than 1, and fewer than 2 in 100 move at all.
TEST(FineDenoise, CleanPictureHardlyChanges)
{
    Image clean = MakePicture(300, 200, 0, Scene);
    ASSERT_TRUE(FineRun(clean).done);
    int largest = 0;
    double total = 0;
    for (int y = 0; y < 200; ++y)
        for (int i = 0; i < 3 * 300; ++i) {
            const int difference = std::abs(clean.bits[y * RowStride(300) + i] - clean.rows[y][i]);
            largest = std::max(largest, difference);
            total += difference;
        }
    EXPECT_LE(largest, 1);
    EXPECT_LT(total / (3 * 300 * 200), 0.02);
}

// Tiles hold no more than the classic run's planes for any picture of more than 256 pixels on its
// longer side, with smaller tiles and fewer threads rather than more memory; a picture without
// pixels is refused untouched.
TEST(FineDenoise, MemoryAndRefusals)
{
    for (const auto& size : {std::pair{257, 3}, std::pair{300, 300}, std::pair{600, 400}, std::pair{1024, 1024},
                             std::pair{4000, 3000}, std::pair{513, 20000}})
        EXPECT_LE(DenoiseMemoryNeed(FineSettings(16), size.first, size.second),
                  DenoiseMemoryNeed(DenoiseSettings{}, size.first, size.second))
            << size.first << " x " << size.second;
    Image image = MakePicture(4, 4, 0, Scene);
    image.header->biHeight = 0;
    EXPECT_FALSE(FineRun(image).done);
    EXPECT_EQ(image.bits[0], 0xA5);
}

// The preview's crop, denoised in its context, holds the same bytes as the whole picture's run
// there: at a corner, at the opposite corner and inside, for any number of threads, with the noise
// measured by the crop's run or handed in from the whole run. A picture smaller than the crop is
// one area at its corner.
TEST(FineDenoise, CropEqualsTheWholeResult)
{
    // Noise twice as strong in the shadows as in the highlights: several brightness bins, so the
    // noise is looked up by place.
    Numbers numbers{99};
    Image picture = MakePicture(420, 300, 0, [&](int x, int y, int c) {
        const double scene = Scene(x, y, c);
        return scene + (16 - scene / 24) * numbers.Gaussian();
    });
    const DenoiseOutcome whole = FineRun(picture, 1, 70);
    ASSERT_TRUE(whole.done);
    ASSERT_GT(whole.noiseBrief.brightness[2], whole.noiseBrief.brightness[0]);
    for (int threads : {1, 2, 3})
        for (const PictureArea& area :
             {PictureArea{0, 0, 128, 128}, PictureArea{292, 172, 128, 128}, PictureArea{90, 37, 128, 128}}) {
            DenoiseSettings settings = FineSettings(threads, 70);
            ExpectCropEqualsWhole(picture, area, settings);
            settings.noise = whole.noise;
            ExpectCropEqualsWhole(picture, area, settings);
        }
    Image small = MakePicture(100, 60, 12, Scene);
    ASSERT_TRUE(FineRun(small).done);
    ExpectCropEqualsWhole(small, PictureArea{0, 0, 100, 60}, FineSettings());
}

// Strong noise, where the stage's first pass takes larger patches and its tiles wider margins: the
// same bytes in every build, for any number of threads and both loop builds, and in the preview's
// crop at a corner and inside.
TEST(FineDenoise, StrongNoiseGivesTheSameBytesEverywhere)
{
    Image picture = MakePicture(530, 310, 45, Scene);
    const DenoiseOutcome whole = FineRun(picture, 1);
    ASSERT_TRUE(whole.done);
    ASSERT_GT(whole.noiseSigma[0], 35.0f);
    const std::vector<std::uint8_t> single = Bits(picture);
    EXPECT_EQ(Checksum(single), 0xb019c25ebdae0116u);
    for (int threads : {2, 3}) {
        ASSERT_TRUE(FineRun(picture, threads).done);
        EXPECT_EQ(Bits(picture), single) << threads << " threads";
    }
    if (WideLoopsOn()) {
        LimitLoops(LoopWidth::baseline);
        const bool done = FineRun(picture, 2).done;
        LimitLoops(LoopWidth::avx512);
        ASSERT_TRUE(done);
        EXPECT_EQ(Bits(picture), single) << "baseline loops";
    }
    DenoiseSettings settings = FineSettings(2);
    settings.noise = whole.noise;
    for (const PictureArea& area : {PictureArea{402, 182, 128, 128}, PictureArea{150, 90, 128, 128}})
        ExpectCropEqualsWhole(picture, area, settings);
}
