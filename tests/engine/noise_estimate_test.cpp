#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "engine/denoise.h"
#include "engine/fine/noise_estimate.h"
#include "engine/fine/patch_noise.h"
#include "tests/engine/noisy_picture.h"

namespace {

// Noise fields of one plane per channel, width x height doubles each.
struct Field {
    int width, height;
    std::vector<double> values;
    double& At(int c, int x, int y) { return values[(static_cast<std::size_t>(c) * height + y) * width + x]; }
};

Field WhiteField(int width, int height, std::uint32_t seed)
{
    Field field{width, height, std::vector<double>(3 * static_cast<std::size_t>(width) * height)};
    Numbers numbers{seed};
    for (double& v : field.values) v = numbers.Gaussian();
    return field;
}

// White noise smoothed by [1 2 1] / 4 both ways: most of its power moves to the coarser levels.
Field Blurred(Field white)
{
    Field out = white;
    for (int c = 0; c < 3; ++c)
        for (int y = 1; y + 1 < white.height; ++y)
            for (int x = 1; x + 1 < white.width; ++x) {
                double sum = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        sum += (2 - std::abs(dx)) * (2 - std::abs(dy)) * white.At(c, x + dx, y + dy);
                out.At(c, x, y) = sum / 16;
            }
    return out;
}

// The standard deviation of the field's brightness band (the channels' sum over sqrt 3), or of
// another channel given by its weights, at a level and orientation of the undecimated Haar
// transform, computed directly from the field.
double BandDeviation(Field& field, int level, int orientation, const double (&weights)[3] = {1, 1, 1})
{
    const int half = 1 << level, taps = 2 * half;
    double squares = 0;
    int count = 0;
    for (int y = 8; y + taps + 8 < field.height; y += 7)
        for (int x = 8; x + taps + 8 < field.width; x += 7, ++count) {
            double sum = 0;
            for (int dy = 0; dy < taps; ++dy)
                for (int dx = 0; dx < taps; ++dx) {
                    const int down = orientation != 1 && dy >= half ? -1 : 1;
                    const int across = orientation != 0 && dx >= half ? -1 : 1;
                    sum += down * across *
                           (weights[0] * field.At(0, x + dx, y + dy) + weights[1] * field.At(1, x + dx, y + dy) +
                            weights[2] * field.At(2, x + dx, y + dy));
                }
            const double norm = weights[0] * weights[0] + weights[1] * weights[1] + weights[2] * weights[2];
            const double value = sum / std::sqrt(norm) / taps;
            squares += value * value;
        }
    return std::sqrt(squares / count);
}

// The variance of one coefficient of an 8 x 8 patch transform over the field's brightness, or over
// another channel given by its weights.
double PatchVariance(Field& field, const float (&basis)[patchSide][patchSide], int v, int u,
                     const double (&weights)[3] = {1, 1, 1})
{
    const double norm = std::sqrt(weights[0] * weights[0] + weights[1] * weights[1] + weights[2] * weights[2]);
    double squares = 0;
    int count = 0;
    for (int y = 8; y + patchSide + 8 < field.height; y += 5)
        for (int x = 8; x + patchSide + 8 < field.width; x += 5, ++count) {
            double sum = 0;
            for (int dy = 0; dy < patchSide; ++dy)
                for (int dx = 0; dx < patchSide; ++dx)
                    sum += basis[v][dy] * basis[u][dx] *
                           (weights[0] * field.At(0, x + dx, y + dy) + weights[1] * field.At(1, x + dx, y + dy) +
                            weights[2] * field.At(2, x + dx, y + dy)) /
                           norm;
            squares += sum * sum;
        }
    return squares / count;
}

// The record's bytes, hashed (FNV-1a), so that every build can be held to the same figures.
std::uint64_t RecordHash(const NoiseLevels& noise)
{
    std::uint64_t hash = 14695981039346656037u;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&noise);
    for (std::size_t i = 0; i < sizeof noise; ++i) hash = (hash ^ bytes[i]) * 1099511628211u;
    return hash;
}

// The fine method's result on the picture, hashed likewise.
std::uint64_t FineResultHash(Image& picture)
{
    DenoiseSettings settings;
    settings.method = Method::Fine;
    EXPECT_TRUE(DenoiseImage(settings, {}, picture.header, picture.bits, picture.rows.get()).done);
    const int width = picture.header->biWidth, height = picture.header->biHeight;
    std::uint64_t hash = 14695981039346656037u;
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < 3 * width; ++i) hash = (hash ^ picture.bits[y * RowStride(width) + i]) * 1099511628211u;
    return hash;
}

NoiseLevels Measure(const Image& image, int threads = 1)
{
    WorkerTeam team(threads);
    return EstimateNoise(image.header->biWidth, image.header->biHeight, image.rows.get(), team);
}

// A grey ramp with grey noise, the same in R, G and B, and colour noise whose red-blue and
// green-magenta parts colour(0, x, y) and colour(1, x, y) give.
template <class Colour>
Image CameraPicture(Field& grey, double greyAmplitude, const Colour& colour, double colourAmplitude)
{
    const int width = grey.width;
    return MakePicture(width, grey.height, 0, [&](int x, int y, int c) {
        const double redBlue = colour(0, x, y), greenMagenta = colour(1, x, y);
        const double tint = c == 1 ? -greenMagenta : greenMagenta / 2 + (c - 1) * redBlue;
        return 60 + 130.0 * x / width + greyAmplitude * grey.At(0, x, y) + colourAmplitude * tint;
    });
}

// The brightness's bands from the third level on, in every bin, within low to high times the
// truth: the grey noise's, which the brightness carries sqrt 3 times (the same in R, G and B).
void ExpectCoarseBrightness(const NoiseLevels& noise, Field& grey, double amplitude, double low, double high)
{
    for (int level = 2; level < noiseLevels; ++level)
        for (int o = 0; o < 3; ++o) {
            const double truth = amplitude * std::sqrt(3.0) * BandDeviation(grey, level, o, {1, 0, 0});
            for (int bin = 0; bin < noise.bins; ++bin) {
                const double measured = noise.band[bin][0][level][o] / truth;
                EXPECT_TRUE(measured > low && measured < high)
                    << measured << " of the truth in bin " << bin << " level " << level << " orientation " << o;
            }
        }
}

}  // namespace

// Noise that doubles from the highlights to the shadows, on a grey ramp, is measured within 10 %
// in every brightness bin and channel.
TEST(NoiseEstimate, FollowsBrightness)
{
    const int width = 1024, height = 512;
    const auto deviation = [](double brightness) { return 12 - 6 * (brightness - 30) / 190; };
    Field white = WhiteField(width, height, 7);
    const Image ramp = MakePicture(width, height, 0, [&](int x, int y, int c) {
        const double grey = 30 + 190.0 * x / (width - 1);
        return grey + deviation(grey) * white.At(c, x, y);
    });
    const NoiseLevels noise = Measure(ramp);
    ASSERT_EQ(noise.bins, noiseBinsMax);
    for (int bin = 0; bin < noise.bins; ++bin)
        for (int c = 0; c < 3; ++c)
            for (int level = 0; level < noiseLevels; ++level)
                EXPECT_NEAR(noise.band[bin][c][level][2] / deviation(noise.brightness[bin]), 1.0, 0.1)
                    << "bin " << bin << " channel " << c << " level " << level;
}

// Fine texture whose detail grows with the brightness (a pattern of reflectances under the light),
// under weak noise, is not taken for noise that grows with it: the brighter bins measure not much
// more than the darker ones, at the finest level and the coarsest. Also where the texture is so
// loud that six times its figure reaches black or white from every level of the picture (the
// darkest parts, unclear then, stay a little quieter than the rest).
TEST(NoiseEstimate, TextureGrowingWithBrightnessIsNotNoise)
{
    const int width = 640, height = 480;
    Field texture = Blurred(WhiteField(width, height, 5));
    for (const auto& [amplitude, rise] : {std::pair{0.25, 1.25f}, std::pair{0.8, 1.4f}}) {
        const Image picture = MakePicture(width, height, 1.5, [&](int x, int y, int) {
            const double grey = 40 + 170.0 * x / (width - 1);
            return grey * (1 + amplitude * texture.At(0, x, y));
        });
        const NoiseLevels noise = Measure(picture);
        ASSERT_GE(noise.bins, 3);
        for (int bin = 1; bin < noise.bins; ++bin)
            for (int level : {0, noiseLevels - 1})
                EXPECT_LE(noise.band[bin][0][level][2], rise * noise.band[0][0][level][2])
                    << "texture " << amplitude << ", bin " << bin << " level " << level;
    }
    // Beneath texture that grows with the brightness, the noise is read within 1.5 times its 1.5.
    // A picture of 192 x 192 holds one bin; its figure stays well below the texture's at its middle
    // level (a picture of that level alone).
    const auto rampOf = [&](int side, double darkest, double brightest) {
        return MakePicture(side, side, 1.5, [&](int x, int y, int) {
            return (darkest + (brightest - darkest) * x / (side - 1)) * (1 + 0.25 * texture.At(0, x, y));
        });
    };
    const NoiseLevels large = Measure(rampOf(480, 40, 210));
    for (int bin = 0; bin < large.bins; ++bin)
        EXPECT_LE(large.band[bin][0][0][2], 1.5f * 1.5f) << "beneath the texture, bin " << bin;
    const NoiseLevels small = Measure(rampOf(192, 40, 210)), level = Measure(rampOf(192, 125, 125));
    EXPECT_LE(small.band[0][0][0][2], 0.8f * level.band[0][0][0][2]);
}

// Fine grey texture under white noise raises the brightness's figure alone; the colour channels,
// white and quieter, bound it: the brightness is measured within 10 % of the noise. Where the
// colour's noise is smoothed (a camera's colour smoothing), it bounds nothing: noise in the
// brightness keeps its figure.
TEST(NoiseEstimate, ColourBoundsTheBrightnessOnlyWhereItsNoiseIsWhite)
{
    const int width = 640, height = 480;
    Field texture = WhiteField(width, height, 3), smoothed = Blurred(WhiteField(width, height, 4));
    const Image textured = MakePicture(
        width, height, 10, [&](int x, int y, int) { return 60 + 130.0 * x / width + 8 * texture.At(0, x, y); });
    const NoiseLevels white = Measure(textured);
    for (int bin = 0; bin < white.bins; ++bin) EXPECT_NEAR(white.band[bin][0][0][2] / 10, 1.0, 0.1) << "bin " << bin;
    // White noise of 10 in the brightness alone, and smoothed colour noise quieter than it at the
    // finest scale, as a camera that smooths its colour leaves them.
    const Image camera = MakePicture(width, height, 0, [&](int x, int y, int c) {
        const double colour =
            c == 1 ? -2 * smoothed.At(1, x, y) : smoothed.At(1, x, y) + (c - 1) * smoothed.At(2, x, y);
        return 60 + 130.0 * x / width + 10 / 1.7320508 * texture.At(0, x, y) + 20 * colour;
    });
    const NoiseLevels smooth = Measure(camera);
    for (int bin = 0; bin < smooth.bins; ++bin) {
        EXPECT_LT(smooth.band[bin][1][0][2], smooth.band[bin][0][0][2] / 1.5) << "bin " << bin;
        EXPECT_NEAR(smooth.band[bin][0][0][2] / 10, 1.0, 0.1) << "bin " << bin;
    }
}

// Noise smoothed over neighbouring pixels is measured where it lives: each brightness band, and
// each coefficient of a patch transform, within 15 % of the deviation it really has, the coarse
// bands several times the finest. The same
// smoothing in the brightness alone is a texture, not noise: white noise over it keeps one figure.
TEST(NoiseEstimate, CorrelatedNoiseAtItsScale)
{
    const int width = 640, height = 480;
    Field blurred = Blurred(WhiteField(width, height, 11));
    const Image camera = MakePicture(
        width, height, 0, [&](int x, int y, int c) { return 60 + 130.0 * x / width + 16 * blurred.At(c, x, y); });
    const NoiseLevels noise = Measure(camera);
    for (int bin = 0; bin < noise.bins; ++bin)
        for (int level = 0; level < noiseLevels; ++level)
            for (int o = 0; o < 3; ++o)
                EXPECT_NEAR(noise.band[bin][0][level][o] / (16 * BandDeviation(blurred, level, o)), 1.0, 0.15)
                    << "bin " << bin << " level " << level << " orientation " << o;
    EXPECT_GT(noise.band[0][0][3][0], 3 * noise.band[0][0][0][2]);
    // The same noise where a fine coloured texture covers the shadows: the coarse bands there stay
    // the noise's (within a quarter: the texture raises the finest detail a little), not the
    // texture's (twice the noise's).
    const Image shadows = MakePicture(width, height, 0, [&](int x, int y, int c) {
        const double texture = x < width / 4 ? 16 * std::sin(0.7 * x + 2 * c) * std::sin(0.63 * y + c) : 0;
        return 60 + 130.0 * x / width + texture + 16 * blurred.At(c, x, y);
    });
    const NoiseLevels textured = Measure(shadows);
    for (int level = 2; level < noiseLevels; ++level)
        for (int o = 0; o < 3; ++o)
            EXPECT_NEAR(textured.band[0][0][level][o] / (16 * BandDeviation(blurred, level, o)), 1.0, 0.25)
                << "textured shadows, level " << level << " orientation " << o;
    // The patch stage's DCT coefficients likewise (the mean, 0, is not filtered).
    auto patch = std::make_unique<PatchNoise>();
    MeasuredPatchNoise(noise, 50, *patch);
    const int code = static_cast<int>(noise.brightness[0]);
    for (int i : {1, 9, 27})
        EXPECT_NEAR(std::sqrt(patch->variance[0][code][i] / (256 * PatchVariance(blurred, patchDct, i % 8, i / 8))),
                    1.0, 0.15)
            << "coefficient " << i;

    const Image texture = MakePicture(width, height, 6, [&](int x, int y, int) {
        return 60 + 130.0 * x / width + 16 * (blurred.At(0, x, y) + blurred.At(1, x, y) + blurred.At(2, x, y));
    });
    const NoiseLevels white = Measure(texture);
    for (int c = 0; c < 3; ++c)
        for (int level = 0; level < noiseLevels; ++level)
            for (int o = 0; o < 3; ++o) EXPECT_EQ(white.band[0][c][level][o], white.band[0][c][0][2]);
}

// Noise a camera's strong noise reduction left: the brightness's smoothed over more pixels than
// the measurement's few neighbours reach, the colour's smoothed less and quieter at the finest
// scale. The brightness's coarse bands, where most of its noise lives, are measured within 25 %
// (the neighbours alone read some 0.6 of them).
TEST(NoiseEstimate, NoiseSmoothedBeyondTheNeighboursAtItsScale)
{
    const int width = 640, height = 480;
    Field grey = Blurred(Blurred(WhiteField(width, height, 21))), colour = Blurred(WhiteField(width, height, 22));
    const auto tint = [&](int c, int x, int y) { return colour.At(c, x, y); };
    ExpectCoarseBrightness(Measure(CameraPicture(grey, 40, tint, 8)), grey, 40, 0.75, 1.25);
}

// Colour noise a camera smoothed into soft blotches some 8 pixels wide, beside brightness noise
// that lies within the neighbours' reach. The colour's neighbours read its coarse levels no
// louder than its finest; the brightness's coarse bands are still measured at their scale, within
// 0.6 to 1.1 of the truth (white noise's figure would be about 0.15 of it).
TEST(NoiseEstimate, BrightnessAtItsScaleBesideSmoothedColour)
{
    const int width = 640, height = 480, blotch = 8;
    Field grey = Blurred(WhiteField(width, height, 31));
    Field coarse = WhiteField(width / blotch + 2, height / blotch + 2, 33);
    const auto smooth = [&](int c, int x, int y) {
        const int ix = x / blotch, iy = y / blotch;
        const double tx = static_cast<double>(x % blotch) / blotch, ty = static_cast<double>(y % blotch) / blotch;
        return (1 - ty) * ((1 - tx) * coarse.At(c, ix, iy) + tx * coarse.At(c, ix + 1, iy)) +
               ty * ((1 - tx) * coarse.At(c, ix, iy + 1) + tx * coarse.At(c, ix + 1, iy + 1));
    };
    ExpectCoarseBrightness(Measure(CameraPicture(grey, 16, smooth, 6)), grey, 16, 0.6, 1.1);
}

// Colour noise in blotches of 8 x 8 pixels, as JPEG leaves it, with next to none in the finest
// detail: the red-blue channel is measured within 15 % at the levels where it lives, also where
// it is louder than the brightness's noise there (as a sensor's colour matrix makes it), and the
// self-similarity stage's coarsest patch coefficients across and down take it within 20 %.
TEST(NoiseEstimate, ColourBlotchesAtTheirScale)
{
    const int width = 640, height = 480;
    Field grey = WhiteField(width, height, 5);
    // Both colour channels blotched: red against blue, and green against both.
    Field blotch = WhiteField(width / 8, height / 8, 9);
    Field blotches{width, height, std::vector<double>(3 * static_cast<std::size_t>(width) * height, 0.0)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double redBlue = blotch.At(0, x / 8, y / 8), greenMagenta = blotch.At(1, x / 8, y / 8);
            blotches.At(0, x, y) = greenMagenta / 2 - redBlue;  // blue
            blotches.At(1, x, y) = -greenMagenta;
            blotches.At(2, x, y) = greenMagenta / 2 + redBlue;  // red
        }
    for (const double brightness : {16.0, 9.0}) {
        const Image camera = MakePicture(width, height, 0, [&](int x, int y, int c) {
            return 60 + 130.0 * x / width + brightness * grey.At(0, x, y) + 3 * blotches.At(c, x, y);
        });
        const NoiseLevels noise = Measure(camera);
        for (int bin = 0; bin < noise.bins; ++bin)
            for (int level = 2; level < 4; ++level)
                for (int o = 0; o < 3; ++o)
                    EXPECT_NEAR(noise.band[bin][1][level][o] / (3 * BandDeviation(blotches, level, o, {1, 0, -1})), 1.0,
                                0.15)
                        << "brightness noise " << brightness << " bin " << bin << " level " << level << " orientation "
                        << o << ": the brightness's " << noise.band[bin][0][level][o];
        auto patch = std::make_unique<PatchNoise>();
        MeasuredPatchNoise(noise, 50, *patch);
        for (const int i : {1, patchSide}) {
            const double truth = 9 * PatchVariance(blotches, patchDct, i % patchSide, i / patchSide, {1, 0, -1});
            for (int code = 60; code < 190; code += 40)
                EXPECT_NEAR(std::sqrt(patch->variance[1][code][i] / truth), 1.0, 0.2)
                    << "brightness noise " << brightness << " coefficient " << i << " code " << code;
        }
        if (brightness != 16.0) continue;
        const NoiseLevels many = Measure(camera, 3);
        EXPECT_EQ(0, std::memcmp(&noise, &many, sizeof noise));
        EXPECT_EQ(RecordHash(noise), 0x22b59d545536cd4fu);
    }
}

// The same figures for any number of threads and in every build (the record's bytes are pinned),
// on brightness-dependent correlated noise over a scene; the fine method's bytes likewise.
TEST(NoiseEstimate, SameFiguresForAnyThreadCountAndBuild)
{
    const int width = 700, height = 500;
    Field blurred = Blurred(WhiteField(width, height, 3));
    Image picture = MakePicture(width, height, 0, [&](int x, int y, int c) {
        const double scene = 40 + 150.0 * ((x / 7 + y / 5) % 40) / 40;
        return scene + (30 - scene / 8) * blurred.At(c, x, y);
    });
    const NoiseLevels one = Measure(picture, 1);
    for (int threads : {2, 3}) {
        const NoiseLevels many = Measure(picture, threads);
        EXPECT_EQ(0, std::memcmp(&one, &many, sizeof one)) << threads << " threads";
    }
    EXPECT_EQ(RecordHash(one), 0x66f943c8c7e60128u);
    EXPECT_EQ(FineResultHash(picture), 0xde2c91a051ab99bdu);
}

// Noise mixed across R, G and B by a colour matrix, blurred so that it is not white: every pair of
// opponent channels is measured within 0.1 of its correlation at the two finest levels (the
// flattest blocks' choice pulls it a little towards none), and the self-similarity stage's
// coefficients take it as their covariance where the noise lives. White noise in
// R, G and B on the same scene measures next to none and gives the stage none.
TEST(NoiseEstimate, CorrelationAcrossChannels)
{
    const int width = 640, height = 480;
    // Blue, green and red from three independent fields (a sensor's matrix mixes its channels).
    const double mix[3][3] = {{24, 14, 0}, {0, 18, 6}, {0, 14, 24}};
    const double weights[3][3] = {{1, 1, 1}, {-1, 0, 1}, {1, -2, 1}};  // brightness, red-blue, green-magenta
    double covariance[3][3] = {};
    for (int p = 0; p < 3; ++p)
        for (int q = 0; q < 3; ++q)
            for (int c = 0; c < 3; ++c)
                for (int d = 0; d < 3; ++d)
                    for (int k = 0; k < 3; ++k)
                        covariance[p][q] += weights[p][c] * mix[c][k] * mix[d][k] * weights[q][d];
    Field blurred = Blurred(WhiteField(width, height, 11)), white = WhiteField(width, height, 12);
    Image mixed = MakePicture(width, height, 0, [&](int x, int y, int c) {
        double n = 0;
        for (int k = 0; k < 3; ++k) n += mix[c][k] * blurred.At(k, x, y);
        return 60 + 130.0 * x / width + n;
    });
    const Image plain = MakePicture(
        width, height, 0, [&](int x, int y, int c) { return 60 + 130.0 * x / width + 8 * white.At(c, x, y); });
    const NoiseLevels noise = Measure(mixed), none = Measure(plain);
    auto patch = std::make_unique<PatchNoise>(), plainPatch = std::make_unique<PatchNoise>();
    MeasuredPatchNoise(noise, 50, *patch);
    MeasuredPatchNoise(none, 50, *plainPatch);
    for (int pair = 0; pair < 3; ++pair) {
        const int p = noisePairFirst[pair], q = noisePairSecond[pair];
        const double truth = covariance[p][q] / std::sqrt(covariance[p][p] * covariance[q][q]);
        for (int bin = 0; bin < noise.bins; ++bin)
            for (int level = 0; level < 2; ++level) {
                EXPECT_NEAR(BandCorrelation(noise, bin, pair, level, 2), truth, 0.1) << pair << " " << level;
                EXPECT_NEAR(BandCorrelation(none, bin, pair, level, 2), 0.0, 0.1) << pair << " " << level;
            }
        const int code = 128;
        for (int i = 1; i < patchSize; ++i) {
            // The low frequencies, where the blurred noise lives.
            const double stage =
                patch->covariance[pair][code][i] / std::sqrt(patch->variance[p][code][i] * patch->variance[q][code][i]);
            if (i % patchSide < 3 && i / patchSide < 3) {
                EXPECT_NEAR(stage, truth, 0.12) << pair << " coefficient " << i;
            }
            EXPECT_EQ(plainPatch->covariance[pair][code][i], 0.0f) << pair << " coefficient " << i;
        }
    }
    // The stage's filter with correlated channels gives the same bytes in every build.
    EXPECT_EQ(FineResultHash(mixed), 0x9d168b904ee9b291u);
}
