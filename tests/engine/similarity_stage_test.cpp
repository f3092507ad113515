#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/fine/block_matching.h"
#include "engine/fine/collaborative_filter.h"
#include "engine/fine/colour_axes.h"
#include "engine/fine/group_bayes.h"
#include "engine/fine/patch_noise.h"
#include "engine/fine/patch_transform.h"
#include "tests/engine/noisy_picture.h"

namespace {

// A patch of samples that are not a pattern the transform could favour.
void FillPatch(float* samples, int seed)
{
    for (int i = 0; i < patchSize; ++i) samples[i] = static_cast<float>((i * 37 + seed * 101) % 255) - 100.0f;
}

}  // namespace

// The fast patch transform is the orthonormal 8 x 8 DCT (coefficient u * 8 + v: horizontal
// frequency u, vertical v) to float accuracy, and the inverse brings the samples back, weighed, to
// where the patch lies; across a group, the Haar transform leaves the mean in the first patch and
// its inverse rebuilds the group.
TEST(SimilarityStage, TransformsAreTheOrthonormalDctAndHaar)
{
    float samples[patchSize], coefficients[patchSize];
    FillPatch(samples, 1);
    const int first = 0;
    ForwardPatches(samples, &first, 1, patchSide, coefficients);
    const double pi = 3.14159265358979323846;
    for (int u = 0; u < patchSide; ++u)
        for (int v = 0; v < patchSide; ++v) {
            double expected = 0;
            for (int y = 0; y < patchSide; ++y)
                for (int x = 0; x < patchSide; ++x)
                    expected += samples[y * patchSide + x] * std::cos((2 * x + 1) * u * pi / 16) *
                                std::cos((2 * y + 1) * v * pi / 16);
            expected *= (u == 0 ? std::sqrt(0.125) : 0.5) * (v == 0 ? std::sqrt(0.125) : 0.5);
            EXPECT_NEAR(coefficients[u * patchSide + v], expected, 2e-4) << u << ", " << v;
            EXPECT_NEAR(patchDct[u][v], (u == 0 ? std::sqrt(0.125) : 0.5) * std::cos((2 * v + 1) * u * pi / 16), 1e-7);
        }
    EXPECT_NEAR(PatchDc(samples, patchSide), coefficients[0], 1e-4);
    const int stride = 12, offset = 2 * stride + 3;
    std::vector<float> sum(stride * 11, 0.0f), weights(stride * 11, 0.0f);
    AddInversePatches(coefficients, &offset, 1, 0.5f, stride, sum.data(), weights.data());
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < stride; ++x) {
            const bool inside = y >= 2 && y < 10 && x >= 3 && x < 11;
            EXPECT_EQ(weights[y * stride + x], inside ? 0.5f : 0.0f);
            EXPECT_NEAR(sum[y * stride + x], inside ? 0.5f * samples[(y - 2) * patchSide + x - 3] : 0.0f, 1e-4);
        }

    for (const int count : {2, 8, largestGroup}) {  // an odd number of levels, and an even
        std::vector<float> group(count * patchSize), original;
        for (int g = 0; g < count; ++g) FillPatch(group.data() + g * patchSize, g);
        original = group;
        HaarAcrossGroup(group.data(), count);
        for (int i = 0; i < patchSize; ++i) {
            double sum = 0;
            for (int g = 0; g < count; ++g) sum += original[g * patchSize + i];
            EXPECT_NEAR(group[i], sum / std::sqrt(count), 2e-3) << count;  // the mean times sqrt count
        }
        InverseHaarAcrossGroup(group.data(), count);
        for (std::size_t i = 0; i < group.size(); ++i) EXPECT_NEAR(group[i], original[i], 2e-4) << count;
    }
}

// The plane of coefficients 0 holds, at every place a patch fits in a plane whose width is not a
// multiple of eight, the bits the patch's own computation gives.
TEST(SimilarityStage, CoefficientZeroPlaneHasEachPatchsBits)
{
    const int width = 29, height = 13, stride = width + 8;
    std::vector<float> plane(static_cast<std::size_t>(stride) * height), dc(plane.size(), -1.0f);
    for (std::size_t i = 0; i < plane.size(); ++i) plane[i] = static_cast<float>((i * 73) % 251) * 0.37f - 20.0f;
    PatchDcPlane(plane.data(), width, height, stride, dc.data());
    for (int y = 0; y + patchSide <= height; ++y)
        for (int x = 0; x + patchSide <= width; ++x) {
            const int at = y * stride + x;
            EXPECT_EQ(dc[at], PatchDc(plane.data() + at, stride)) << x << ", " << y;
        }
}

// On a plane of a ramp, a patch copied to three places is found there, the copies (alike to the
// bit) in the plane's order, unless a value per patch tells one apart; on a flat plane every
// candidate is as alike, and the ones that come first in the plane fill the group behind the
// reference.
TEST(SimilarityStage, MatchingFindsCopiesAndBreaksTiesByPosition)
{
    const int width = 48, height = 40, stride = width + 8;
    std::vector<float> plane(static_cast<std::size_t>(stride) * height, 0.0f);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) plane[y * stride + x] = static_cast<float>(3 * x + 5 * y);
    float pattern[patchSize];
    FillPatch(pattern, 7);
    const int places[][2] = {{20, 16}, {9, 30}, {31, 11}, {14, 8}};  // the reference first
    for (const auto& place : places)
        for (int i = 0; i < patchSide; ++i)
            for (int j = 0; j < patchSide; ++j)
                plane[(place[1] + i) * stride + place[0] + j] = pattern[i * patchSide + j];
    int found[largestGroup];
    const SearchWindow window{8, 8, 32, 32};
    ASSERT_EQ(MatchPatches({plane.data()}, stride, patchSide, 20, 16, window, 4, found), 4);
    EXPECT_EQ(found[0], 16 * stride + 20);
    EXPECT_EQ(found[1], 8 * stride + 14);
    EXPECT_EQ(found[2], 11 * stride + 31);
    EXPECT_EQ(found[3], 30 * stride + 9);

    // A value per patch that differs at one copy puts it behind the others.
    std::vector<float> perPatch(plane.size(), 0.0f);
    perPatch[8 * stride + 14] = 1.0f;
    ASSERT_EQ(MatchPatches({plane.data(), {perPatch.data()}}, stride, patchSide, 20, 16, window, 4, found), 4);
    EXPECT_EQ(found[1], 11 * stride + 31);
    EXPECT_EQ(found[2], 30 * stride + 9);
    EXPECT_EQ(found[3], 8 * stride + 14);

    std::fill(plane.begin(), plane.end(), 50.0f);
    ASSERT_EQ(MatchPatches({plane.data()}, stride, patchSide, 20, 16, window, 4, found), 4);
    EXPECT_EQ(found[0], 16 * stride + 20);
    EXPECT_EQ(found[1], 8 * stride + 8);
    EXPECT_EQ(found[2], 8 * stride + 9);
    EXPECT_EQ(found[3], 8 * stride + 10);
}

// White noise gives every coefficient but the mean the square of its figure, scaled by the
// strength; a brightness where nothing was measured (a clean part, or what a light JPEG left) still
// gives positive variances, so the Wiener factors stay numbers; a noise louder in the coarse levels
// (blurred noise) is louder in the low frequencies than in the high ones.
TEST(SimilarityStage, PatchNoiseFollowsTheMeasurement)
{
    PatchNoise patch;
    MeasuredPatchNoise(WhiteNoise({10.0f, 6.0f, 0.0f}), 100, patch);
    EXPECT_TRUE(patch.present[0] && patch.present[1] && !patch.present[2]);
    EXPECT_FLOAT_EQ(patch.variance[0][100][9], 400.0f);
    EXPECT_FLOAT_EQ(patch.threshold[1][7][63], 3.0f * 12.0f);
    EXPECT_LT(patch.variance[0][100][0], 1e-3f);

    NoiseLevels quiet = WhiteNoise({4.0f, 4.0f, 4.0f});
    quiet.bins = 2;
    quiet.brightness[0] = 50;
    quiet.brightness[1] = 200;
    for (auto& level : quiet.band[0][1])
        for (float& band : level) band = 0.0f;
    MeasuredPatchNoise(quiet, 50, patch);
    for (int code : {0, 50, 120})
        for (int i = 0; i < patchSize; ++i) EXPECT_GT(patch.variance[1][code][i], 0.0f) << code << ", " << i;

    // Noise blurred over neighbours: its autocovariance falls off over two pixels, and the coarse
    // bands measured louder than the finest.
    NoiseLevels blurred = WhiteNoise({4.0f, 4.0f, 4.0f});
    for (int dy = -noiseReach; dy <= noiseReach; ++dy)
        for (int dx = -noiseReach; dx <= noiseReach; ++dx)
            blurred.autocovariance[0][0][dy + noiseReach][dx + noiseReach] =
                16.0f * (3 - std::abs(dy)) * (3 - std::abs(dx)) / 9.0f;
    blurred.band[0][0][3][2] = 12.0f;
    MeasuredPatchNoise(blurred, 50, patch);
    EXPECT_GT(patch.variance[0][0][1 * patchSide + 1], 4 * patch.variance[0][0][7 * patchSide + 7]);
    EXPECT_FLOAT_EQ(patch.variance[1][0][9], 16.0f);  // the other channels stay white
}

// A group's signal along two colours at right angles (the stronger one first), under a mean of
// another colour that must not count, gives those colours as its first axes, at right angles to a
// third. Noise along the third axis, where the pilot holds nothing, is taken out entirely, which
// filters along the opponent channels would not do: each of them holds some of the signal.
TEST(SimilarityStage, WienerFilterWorksInTheGroupsOwnColourAxes)
{
    constexpr int count = 2;
    const float strong[3] = {1 / std::sqrt(6.0f), 2 / std::sqrt(6.0f), -1 / std::sqrt(6.0f)};
    const float weak[3] = {1 / std::sqrt(2.0f), 0.0f, 1 / std::sqrt(2.0f)};
    const float third[3] = {strong[1] * weak[2] - strong[2] * weak[1], strong[2] * weak[0] - strong[0] * weak[2],
                            strong[0] * weak[1] - strong[1] * weak[0]};
    // In each patch the two colours' signals pair up so that they do not correlate: a shared
    // strength, the weaker colour's sign alternating.
    auto strongAt = [](int i) { return i % patchSize < 2 ? 0.0f : 40.0f + static_cast<float>(i / 2 % 7); };
    auto weakAt = [](int i) { return i % patchSize < 2 ? 0.0f : i % 2 == 0 ? 6.0f : -6.0f; };
    std::vector<float> pilot[3], noisy[3];
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < count * patchSize; ++i) {
            const float mean = i % patchSize == 0 ? 1000.0f : 0.0f;
            pilot[c].push_back(mean + strongAt(i) * strong[c] + weakAt(i) * weak[c]);
            noisy[c].push_back(pilot[c][i] + (i % patchSize == 0 ? 0.0f : i % 2 == 0 ? 4.0f : -4.0f) * third[c]);
        }
    const float* const pilots[3] = {pilot[0].data(), pilot[1].data(), pilot[2].data()};
    const ColourAxes axes = GroupColourAxes(pilots, count);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(axes.axis[0][c], strong[c], 1e-5f) << c;
        EXPECT_NEAR(axes.axis[1][c], weak[c], 1e-5f) << c;
        EXPECT_NEAR(std::abs(axes.axis[2][c]), std::abs(third[c]), 1e-5f) << c;
    }

    std::vector<float> variance(patchSize, 9.0f);
    variance[0] = 1e-6f;  // as the measured noise gives the means, which the pilot supplies
    const float* const variances[3] = {variance.data(), variance.data(), variance.data()};
    const std::vector<float> uncorrelated(patchSize, 0.0f);
    const float* const covariances[3] = {uncorrelated.data(), uncorrelated.data(), uncorrelated.data()};
    float* const groups[3] = {noisy[0].data(), noisy[1].data(), noisy[2].data()};
    float left[3];
    WienerGroup(groups, pilots, count, axes, variances, covariances, left);
    for (int i = 0; i < count * patchSize; ++i) {
        if (i % patchSize == 0) continue;  // the means pass
        const float alongThird = (noisy[0][i] * third[0] + noisy[1][i] * third[1]) + noisy[2][i] * third[2];
        ASSERT_NEAR(alongThird, 0.0f, 1e-3f) << i;
        const float alongStrong = (noisy[0][i] * strong[0] + noisy[1][i] * strong[1]) + noisy[2][i] * strong[2];
        const float expected = strongAt(i);
        ASSERT_NEAR(alongStrong, expected * expected * expected / (expected * expected + 9.0f), 1e-3f) << i;
    }
    EXPECT_LT(left[2], 1e-3f);
    EXPECT_GT(left[0], left[1]);
}

// Each lane's estimates are its group's posterior means, mean + C (C + N)^-1 (y - mean), as a
// plain elimination in double precision finds them, and a group gives the same bits in any lane.
TEST(SimilarityStage, BayesEstimateIsEachGroupsPosteriorMean)
{
    constexpr int values = bayesValues, lanes = bayesLanes, groupFloats = bayesGroup * values * lanes;
    std::vector<float> pilot(groupFloats), noisy(groupFloats), noise(values * lanes), estimate(groupFloats);
    Numbers numbers{7};
    for (int lane = 0; lane < lanes; ++lane) {
        for (int i = 0; i < values; ++i) noise[i * lanes + lane] = static_cast<float>(50 + 40 * lane + i % 9);
        for (int n = 0; n < bayesGroup; ++n) {
            const double edge = 60 * numbers.Uniform(), texture = 20 * numbers.Gaussian();
            for (int i = 0; i < values; ++i) {
                const int at = (n * values + i) * lanes + lane;
                pilot[at] = static_cast<float>(100 + edge * (i % 3) + texture * ((i * 5) % 7 - 3) + numbers.Gaussian());
                noisy[at] = pilot[at] + static_cast<float>(std::sqrt(noise[i * lanes + lane]) * numbers.Gaussian());
            }
        }
    }
    BayesEstimateGroups(pilot.data(), noisy.data(), noise.data(), estimate.data());
    for (int lane = 0; lane < lanes; ++lane) {
        auto at = [&](int n, int i) { return (n * values + i) * lanes + lane; };
        double mean[values] = {}, a[values][values] = {};
        for (int i = 0; i < values; ++i)
            for (int n = 0; n < bayesGroup; ++n) mean[i] += pilot[at(n, i)] / double{bayesGroup};
        for (int i = 0; i < values; ++i)
            for (int j = 0; j < values; ++j)
                for (int n = 0; n < bayesGroup; ++n)
                    a[i][j] += (pilot[at(n, i)] - mean[i]) * (pilot[at(n, j)] - mean[j]) / (bayesGroup - 1);
        double c[values][values];
        std::memcpy(c, a, sizeof c);
        for (int i = 0; i < values; ++i) a[i][i] += noise[i * lanes + lane];
        for (int n = 0; n < bayesGroup; ++n) {
            double m[values][values + 1];
            for (int i = 0; i < values; ++i) {
                for (int j = 0; j < values; ++j) m[i][j] = a[i][j];
                m[i][values] = noisy[at(n, i)] - mean[i];
            }
            for (int k = 0; k < values; ++k)
                for (int i = k + 1; i < values; ++i) {
                    const double f = m[i][k] / m[k][k];
                    for (int j = k; j <= values; ++j) m[i][j] -= f * m[k][j];
                }
            double x[values];
            for (int i = values - 1; i >= 0; --i) {
                x[i] = m[i][values];
                for (int j = i + 1; j < values; ++j) x[i] -= m[i][j] * x[j];
                x[i] /= m[i][i];
            }
            for (int i = 0; i < values; ++i) {
                double expected = mean[i];
                for (int j = 0; j < values; ++j) expected += c[i][j] * x[j];
                ASSERT_NEAR(estimate[at(n, i)], expected, 2e-3 * (1 + std::abs(expected))) << lane << " " << n << " " << i;
            }
        }
    }
    // Lane 3's group in lane 5, the other lanes changed.
    std::vector<float> pilot2(groupFloats, 1.0f), noisy2(groupFloats, 2.0f), noise2(values * lanes, 3.0f),
        estimate2(groupFloats);
    for (int k = 0; k < bayesGroup * values; ++k) {
        pilot2[k * lanes + 5] = pilot[k * lanes + 3];
        noisy2[k * lanes + 5] = noisy[k * lanes + 3];
    }
    for (int i = 0; i < values; ++i) noise2[i * lanes + 5] = noise[i * lanes + 3];
    BayesEstimateGroups(pilot2.data(), noisy2.data(), noise2.data(), estimate2.data());
    for (int k = 0; k < bayesGroup * values; ++k) ASSERT_EQ(estimate2[k * lanes + 5], estimate[k * lanes + 3]) << k;
}
