#include "engine/fine/similarity_stage.h"

#include <algorithm>

#include "engine/fine/block_matching.h"
#include "engine/fine/collaborative_filter.h"
#include "engine/fine/colour_axes.h"

static_assert(2 * searchReach + 1 <= widestSearch);

namespace {

// References every so many samples from the picture's corner, and the last place a patch fits, so
// every pixel lies in some reference patch. The Wiener pass's groups make the result, the first
// pass's only half the pilot: the Wiener pass gains more from closer references (every 3 against 4:
// +0.02 to +0.03 dB) than the first loses from sparser ones (every 5: under 0.01), for about a tenth
// more time.
constexpr int hardThresholdStep = 5;
constexpr int wienerStep = 3;
// Columns right of a frame's rows that the matching's lanes read.
constexpr int padding = 8;

int PowerOfTwoAtMost(int n)
{
    int p = 1;
    while (p * 2 <= n) p *= 2;
    return p;
}

// The reference positions along one axis of a picture of the given length that lie in
// [low, high], in increasing order.
template <class Visit>
void ForEachReference(int length, int step, int low, int high, const Visit& visit)
{
    const int last = length - patchSide;
    high = std::min(high, last);
    int at = std::max(low, 0);
    at = (at + step - 1) / step * step;
    for (; at <= high; at += step) visit(at);
    if (last % step != 0 && last >= low && last <= high) visit(last);
}

// A group's offsets in the frame, and its three channels' coefficients in the noisy picture and the
// pilot (the first pass uses the first channel's alone, one channel after the other).
struct GroupWork {
    int offset[largestGroup];
    float coefficients[3][largestGroup * patchSize];
    float pilot[3][largestGroup * patchSize];
};

void ClearSums(const SimilarityPlanes& p)
{
    const std::size_t size = SimilarityPlaneFloats(p.frame.width, p.frame.height);
    for (int c = 0; c < 3; ++c) {
        std::fill(p.sum[c], p.sum[c] + size, 0.0f);
        std::fill(p.weight[c], p.weight[c] + size, 0.0f);
    }
}

// A group's patches weigh by the inverse of the noise left in them; a group left without noise
// (everything but the pilot's means taken out) weighs as one whose coefficients all but vanished.
float WeightOf(float noiseLeft, const PatchNoise& noise, int channel)
{
    const float least = noise.sigma[channel] * noise.sigma[channel] * (1.0f / patchSize);
    return 1.0f / std::max(noiseLeft, least);
}

// The candidates of the reference at (x, y) in picture coordinates, in the frame's: searchReach
// around it, one fewer to the right, so that a row of them is two lanes of eight.
SearchWindow WindowOf(const SimilarityPlanes& p, int x, int y)
{
    const int lastX = p.picture.width - patchSide, lastY = p.picture.height - patchSide;
    return {std::max(0, x - searchReach) - p.frame.left, std::max(0, y - searchReach) - p.frame.top,
            std::min(lastX, x + searchReach - 1) - p.frame.left, std::min(lastY, y + searchReach) - p.frame.top};
}

// Calls visit(x, y) for every reference of the grid of that step whose groups may reach the
// rectangle, row by row.
template <class Visit>
void ForEachReferenceReaching(const SimilarityPlanes& p, const PictureRect& rect, int step, const Visit& visit)
{
    const int before = searchReach + patchSide - 1, after = searchReach;
    ForEachReference(p.picture.height, step, rect.top - before, rect.Bottom() - 1 + after, [&](int y) {
        ForEachReference(p.picture.width, step, rect.left - before, rect.Right() - 1 + after,
                         [&](int x) { visit(x, y); });
    });
}

// The group of the reference at (x, y), matched on plane (a frame plane), in work.offset: how many
// patches it holds, and the brightness code its noise is looked up by (the reference's in the
// pilot).
struct Group {
    int count;
    int brightness;
};

Group GroupOf(const SimilarityPlanes& p, const float* plane, int x, int y, GroupWork& work)
{
    const int matched =
        MatchPatches(plane, p.stride, x - p.frame.left, y - p.frame.top, WindowOf(p, x, y), largestGroup, work.offset);
    return {PowerOfTwoAtMost(matched), PatchBrightnessCode(PatchDc(p.pilot[0] + work.offset[0], p.stride))};
}

// The filtered coefficients of a group back to its patches' places in the channel's sums.
void AddGroup(const SimilarityPlanes& p, const PatchNoise& noise, int channel, int count, float noiseLeft,
              float* coefficients, const GroupWork& work)
{
    InverseHaarAcrossGroup(coefficients, count);
    AddInversePatches(coefficients, work.offset, count, WeightOf(noiseLeft, noise, channel), p.stride, p.sum[channel],
                      p.weight[channel]);
}

// The noisy and the pilot's groups of the three channels, through the 3-D transform.
void TransformGroups(const SimilarityPlanes& p, int count, GroupWork& work)
{
    for (int c = 0; c < 3; ++c) {
        for (int g = 0; g < count; ++g) {
            float* coefficients = work.coefficients[c] + g * patchSize;
            ForwardPatch(p.noisy[c] + work.offset[g], p.stride, coefficients);
            ForwardPatch(p.pilot[c] + work.offset[g], p.stride, work.pilot[c] + g * patchSize);
            coefficients[0] = work.pilot[c][g * patchSize];
        }
        HaarAcrossGroup(work.coefficients[c], count);
        HaarAcrossGroup(work.pilot[c], count);
    }
}

// The first pass: hard thresholding of the noisy picture's groups, matched on its brightness.
void HardThresholdPass(const SimilarityPlanes& p, const PatchNoise& noise, const PictureRect& rect, GroupWork& work)
{
    ClearSums(p);
    ForEachReferenceReaching(p, rect, hardThresholdStep, [&](int x, int y) {
        const auto [count, code] = GroupOf(p, p.noisy[0], x, y, work);
        float* group = work.coefficients[0];
        for (int c = 0; c < 3; ++c) {
            if (!noise.present[c]) continue;
            for (int g = 0; g < count; ++g) {
                float* coefficients = group + g * patchSize;
                ForwardPatch(p.noisy[c] + work.offset[g], p.stride, coefficients);
                coefficients[0] = PatchDc(p.pilot[c] + work.offset[g], p.stride);
            }
            HaarAcrossGroup(group, count);
            AddGroup(p, noise, c, count,
                     HardThresholdGroup(group, count, noise.threshold[c][code], noise.variance[c][code]), group, work);
        }
    });
}

// The pilot becomes the mean of itself and the first pass's result over the rectangle: two
// estimates whose errors differ, the wavelets' and the groups'.
void MixPilot(const SimilarityPlanes& p, const PatchNoise& noise, const PictureRect& rect)
{
    for (int c = 0; c < 3; ++c) {
        if (!noise.present[c]) continue;
        for (int y = rect.top; y < rect.Bottom(); ++y) {
            const std::size_t at = static_cast<std::size_t>(y - p.frame.top) * p.stride + (rect.left - p.frame.left);
            float* pilot = p.pilot[c] + at;
            const float* sum = p.sum[c] + at;
            const float* weight = p.weight[c] + at;
            for (int x = 0; x < rect.width; ++x) pilot[x] = (sum[x] / weight[x] + pilot[x]) * 0.5f;
        }
    }
}

// The second pass: the noisy picture's groups, matched on the pilot's brightness, through the
// Wiener filter the pilot's groups give, in each group's own colour axes. Each channel's patches
// weigh by the noise the axes leave in it (each axis's share along the channel).
void WienerPass(const SimilarityPlanes& p, const PatchNoise& noise, GroupWork& work)
{
    ClearSums(p);
    ForEachReferenceReaching(p, p.core, wienerStep, [&](int x, int y) {
        const auto [count, code] = GroupOf(p, p.pilot[0], x, y, work);
        TransformGroups(p, count, work);
        float* const group[3] = {work.coefficients[0], work.coefficients[1], work.coefficients[2]};
        const float* const pilot[3] = {work.pilot[0], work.pilot[1], work.pilot[2]};
        const float* const variance[3] = {noise.variance[0][code], noise.variance[1][code], noise.variance[2][code]};
        const float* const covariance[3] = {noise.covariance[0][code], noise.covariance[1][code],
                                            noise.covariance[2][code]};
        const ColourAxes axes = GroupColourAxes(pilot, count);
        float left[3];
        WienerGroup(group, pilot, count, axes, variance, covariance, left);
        const float(&a)[3][3] = axes.axis;
        for (int c = 0; c < 3; ++c) {
            if (!noise.present[c]) continue;
            const float channelLeft =
                (a[0][c] * a[0][c] * left[0] + a[1][c] * a[1][c] * left[1]) + a[2][c] * a[2][c] * left[2];
            AddGroup(p, noise, c, count, channelLeft, group[c], work);
        }
    });
}

PictureRect Inflate(const PictureRect& rect, int by, const PictureRect& within)
{
    const int left = std::max(rect.left - by, within.left), top = std::max(rect.top - by, within.top);
    const int right = std::min(rect.Right() + by, within.Right()),
              bottom = std::min(rect.Bottom() + by, within.Bottom());
    return {left, top, right - left, bottom - top};
}

}  // namespace

std::size_t SimilarityPlaneFloats(int frameWidth, int frameHeight)
{
    return static_cast<std::size_t>(frameWidth + padding) * frameHeight;
}

PictureRect SimilarityFrame(const PictureRect& picture, const PictureRect& core)
{
    return Inflate(core, similarityMargin, picture);
}

void SimilarityDenoise(const SimilarityPlanes& p, const PatchNoise& noise, float* const* out)
{
    const bool fits = p.picture.width >= patchSide && p.picture.height >= patchSide;
    GroupWork work;
    if (fits) {
        const PictureRect pilotRect = Inflate(p.core, passReach, p.picture);
        HardThresholdPass(p, noise, pilotRect, work);
        MixPilot(p, noise, pilotRect);
    }
    if (fits) WienerPass(p, noise, work);
    for (int c = 0; c < 3; ++c) {
        const bool filtered = fits && noise.present[c];
        for (int y = 0; y < p.core.height; ++y) {
            const std::size_t at =
                static_cast<std::size_t>(y + p.core.top - p.frame.top) * p.stride + (p.core.left - p.frame.left);
            float* row = out[c] + static_cast<std::size_t>(y) * p.core.width;
            for (int x = 0; x < p.core.width; ++x)
                row[x] = filtered ? p.sum[c][at + x] / p.weight[c][at + x] : p.pilot[c][at + x];
        }
    }
}
