#include "engine/fine/similarity_stage.h"

#include <algorithm>

#include "engine/fine/block_matching.h"
#include "engine/fine/collaborative_filter.h"
#include "engine/fine/colour_axes.h"

static_assert(2 * largeSearchReach + 1 <= widestSearch && 2 * bayesSearchReach + 1 <= widestSearch);

namespace {

// References every so many samples from the picture's corner, and the last place a patch fits, so
// every pixel lies in some reference patch. The first pass with 8 x 8 patches every 5 (closer ones
// gain under 0.01 dB), with 12 x 12 every 8 (every 6 gains about 0.01 dB for a tenth more of the
// whole run's time). The Wiener pass every 4: every 3 gains 0.01 dB on camera noise and 0.01 to 0.02
// under white noise, for a third more of the run's time.
// Where the Bayes step follows, the large patches every 10 and the Wiener pass every 5: the result
// loses 0.01 to 0.04 dB, and the time saved (a fifth of the run) pays for most of the step's.
constexpr int hardThresholdStep = 5;
constexpr int largeStep = 8;
constexpr int wienerStep = 4;
constexpr int largeStepBeforeBayes = 10;
constexpr int wienerStepBeforeBayes = 5;
// Columns right of a frame's rows that the matching's lanes read.
constexpr int padding = 8;

int PowerOfTwoAtMost(int n)
{
    int p = 1;
    while (p * 2 <= n) p *= 2;
    return p;
}

// A pass's patches: their side, the step between references and how far the candidates lie.
struct PassShape {
    int side, step, reach;
    int Size() const { return side * side; }
};

constexpr PassShape firstShape{patchSide, hardThresholdStep, searchReach};

PassShape LargeShape(const StagePlan& plan)
{
    return {largePatchSide, plan.bayesStep ? largeStepBeforeBayes : largeStep, largeSearchReach};
}

PassShape WienerShape(const StagePlan& plan)
{
    return {patchSide, plan.bayesStep ? wienerStepBeforeBayes : wienerStep, searchReach};
}

// The Bayes step's references every 3 samples, so that its patches tile the picture.
constexpr PassShape bayesShape{bayesSide, bayesSide, bayesSearchReach};
// The Bayes step's share of the result, the Wiener result's the rest: 0.8 gained 0.03 dB over half
// and half; since the step's groups take their candidates further out and match on colour too, 0.95
// gains another 0.004 to 0.009 dB (0.9 a little less, 1 less at σ 15, 0.7 loses 0.01).
constexpr float bayesShare = 0.95f;
// The step takes the noise as 0.9 of its measured variance: its covariances come from the Wiener
// result, smoother than the picture, and with the full variance it smooths a little too much
// (0.9 gains 0.003 to 0.011 dB, 1.1 loses 0.005, 0.7 loses 0.008 at σ 15).
constexpr float bayesNoiseShare = 0.9f;

// The reference positions along one axis of a picture of the given length that lie in
// [low, high], in increasing order.
template <class Visit>
void ForEachReference(int length, int side, int step, int low, int high, const Visit& visit)
{
    const int last = length - side;
    high = std::min(high, last);
    int at = std::max(low, 0);
    at = (at + step - 1) / step * step;
    for (; at <= high; at += step) visit(at);
    if (last % step != 0 && last >= low && last <= high) visit(last);
}

// A group's offsets in the frame, and its three channels' coefficients in the noisy picture and the
// pilot for the second pass; the first pass's coefficients, one channel after the other, with the
// noise of a large patch's coefficients.
struct GroupWork {
    int offset[largestGroup];
    float coefficients[3][largestGroup * patchSize];
    float pilot[3][largestGroup * patchSize];
    float firstPass[largestGroup * largePatchSize];
    float largeVariance[largePatchSize];
    float largeThreshold[largePatchSize];
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
float WeightOf(float noiseLeft, const PatchNoise& noise, int channel, int size)
{
    const float least = noise.sigma[channel] * noise.sigma[channel] * (1.0f / static_cast<float>(size));
    return 1.0f / std::max(noiseLeft, least);
}

// The candidates of the reference at (x, y) in picture coordinates, in the frame's: the shape's
// reach around it, one fewer to the right, so that a row of them is whole lanes of eight.
SearchWindow WindowOf(const SimilarityPlanes& p, const PassShape& shape, int x, int y)
{
    const int lastX = p.picture.width - shape.side, lastY = p.picture.height - shape.side;
    return {std::max(0, x - shape.reach) - p.frame.left, std::max(0, y - shape.reach) - p.frame.top,
            std::min(lastX, x + shape.reach - 1) - p.frame.left, std::min(lastY, y + shape.reach) - p.frame.top};
}

// Calls visit(x, y) for every reference of the shape's grid whose groups may reach the rectangle,
// row by row.
template <class Visit>
void ForEachReferenceReaching(const SimilarityPlanes& p, const PictureRect& rect, const PassShape& shape,
                              const Visit& visit)
{
    const int before = shape.reach + shape.side - 1, after = shape.reach;
    ForEachReference(p.picture.height, shape.side, shape.step, rect.top - before, rect.Bottom() - 1 + after,
                     [&](int y) {
                         ForEachReference(p.picture.width, shape.side, shape.step, rect.left - before,
                                          rect.Right() - 1 + after, [&](int x) { visit(x, y); });
                     });
}

// The group of the reference at (x, y), matched on plane (a frame plane), in work.offset: how many
// patches it holds, and the brightness code its noise is looked up by, from the reference's
// coefficient 0 in the pilot (its mean times the shape's side).
struct Group {
    int count;
    int brightness;
};

Group GroupOf(const SimilarityPlanes& p, const float* plane, const PassShape& shape, int x, int y, float dc,
              GroupWork& work)
{
    const int matched = MatchPatches({plane}, p.stride, shape.side, x - p.frame.left, y - p.frame.top,
                                     WindowOf(p, shape, x, y), largestGroup, work.offset);
    // The codes are read off an 8 x 8 patch's coefficient 0: the mean times 8.
    return {PowerOfTwoAtMost(matched),
            PatchBrightnessCode(dc * (static_cast<float>(patchSide) / static_cast<float>(shape.side)))};
}

// The offset in the frame's planes of the patch whose top-left sample is at (x, y) in the picture.
int OffsetOf(const SimilarityPlanes& p, int x, int y)
{
    return (y - p.frame.top) * p.stride + (x - p.frame.left);
}

// The filtered coefficients of a group back to its patches' places in the channel's sums.
void AddGroup(const SimilarityPlanes& p, const PatchNoise& noise, int channel, int side, int count, float noiseLeft,
              float* coefficients, const GroupWork& work)
{
    const int size = side * side;
    InverseHaarAcrossGroup(coefficients, count, size);
    const float weight = WeightOf(noiseLeft, noise, channel, size);
    if (side == largePatchSide)
        AddInverseLargePatches(coefficients, work.offset, count, weight, p.stride, p.sum[channel], p.weight[channel]);
    else
        AddInversePatches(coefficients, work.offset, count, weight, p.stride, p.sum[channel], p.weight[channel]);
}

// The 8 x 8 coefficient nearest in frequency to coefficient k of a row of 12 (2k/3 of 8).
constexpr int NearestSmallFrequency(int k)
{
    return (2 * k + 1) / 3;
}

// A large patch's coefficients take the noise figures and thresholds of the 8 x 8 coefficient
// nearest their frequency.
void LargePatchNoise(const PatchNoise& noise, int channel, int code, GroupWork& work)
{
    for (int u = 0; u < largePatchSide; ++u)
        for (int v = 0; v < largePatchSide; ++v) {
            const int i = NearestSmallFrequency(u) * patchSide + NearestSmallFrequency(v);
            work.largeVariance[u * largePatchSide + v] = noise.variance[channel][code][i];
            work.largeThreshold[u * largePatchSide + v] = noise.threshold[channel][code][i];
        }
}

// The noisy and the pilot's groups of the three channels, through the 3-D transform.
void TransformGroups(const SimilarityPlanes& p, int count, GroupWork& work)
{
    for (int c = 0; c < 3; ++c) {
        ForwardPatches(p.noisy[c], work.offset, count, p.stride, work.coefficients[c]);
        ForwardPatches(p.pilot[c], work.offset, count, p.stride, work.pilot[c]);
        for (int g = 0; g < count; ++g) work.coefficients[c][g * patchSize] = work.pilot[c][g * patchSize];
        HaarAcrossGroup(work.coefficients[c], count);
        HaarAcrossGroup(work.pilot[c], count);
    }
}

// The pilot's coefficient 0 of every patch of the shape's side in the frame, channel by channel:
// a patch lies in many groups.
void PilotDcPlanes(const SimilarityPlanes& p, const PatchNoise& noise, int side)
{
    for (int c = 0; c < 3; ++c) {
        if (c > 0 && !noise.present[c]) continue;
        if (side == largePatchSide)
            LargePatchDcPlane(p.pilot[c], p.frame.width, p.frame.height, p.stride, p.dc[c]);
        else
            PatchDcPlane(p.pilot[c], p.frame.width, p.frame.height, p.stride, p.dc[c]);
    }
}

// The first pass: hard thresholding of the noisy picture's groups, matched on its brightness.
void HardThresholdPass(const SimilarityPlanes& p, const PatchNoise& noise, const PictureRect& rect,
                       const PassShape& shape, GroupWork& work)
{
    const bool large = shape.side == largePatchSide;
    const int size = shape.Size();
    ClearSums(p);
    PilotDcPlanes(p, noise, shape.side);
    ForEachReferenceReaching(p, rect, shape, [&](int x, int y) {
        const auto [count, code] = GroupOf(p, p.noisy[0], shape, x, y, p.dc[0][OffsetOf(p, x, y)], work);
        float* group = work.firstPass;
        for (int c = 0; c < 3; ++c) {
            if (!noise.present[c]) continue;
            if (large)
                ForwardLargePatches(p.noisy[c], work.offset, count, p.stride, group);
            else
                ForwardPatches(p.noisy[c], work.offset, count, p.stride, group);
            for (int g = 0; g < count; ++g) group[g * size] = p.dc[c][work.offset[g]];
            HaarAcrossGroup(group, count, size);
            if (large) LargePatchNoise(noise, c, code, work);
            const float* threshold = large ? work.largeThreshold : noise.threshold[c][code];
            const float* variance = large ? work.largeVariance : noise.variance[c][code];
            AddGroup(p, noise, c, shape.side, count, HardThresholdGroup(group, count, size, threshold, variance), group,
                     work);
        }
    });
}

// The first pass's share of the pilot. With large patches it weighs more: it finds repetition
// beyond 8 pixels, and 0.6 gains 0.02 to 0.03 dB under white noise of any strength over half and
// half (0.65 a little more on average, but fine texture, where the wavelets do better, loses more).
// Where the Bayes step follows and makes most of the result, 0.7 gains a further 0.01 to 0.025 dB
// (0.8 more at σ 15, less at σ 35; 0.5 loses 0.02 to 0.03).
// With 8 x 8 patches under camera noise 0.6 gains nothing.
float FirstPassShare(const StagePlan& plan, const PassShape& shape)
{
    if (shape.side != largePatchSide) return 0.5f;
    return plan.bayesStep ? 0.7f : 0.6f;
}

// The pilot becomes a weighted mean of itself and the first pass's result over the rectangle: two
// estimates whose errors differ, the wavelets' and the groups'.
void MixPilot(const SimilarityPlanes& p, const PatchNoise& noise, const PictureRect& rect, float share)
{
    const float pilotShare = 1.0f - share;
    for (int c = 0; c < 3; ++c) {
        if (!noise.present[c]) continue;
        for (int y = rect.top; y < rect.Bottom(); ++y) {
            const std::size_t at = static_cast<std::size_t>(y - p.frame.top) * p.stride + (rect.left - p.frame.left);
            float* pilot = p.pilot[c] + at;
            const float* sum = p.sum[c] + at;
            const float* weight = p.weight[c] + at;
            for (int x = 0; x < rect.width; ++x) pilot[x] = (sum[x] / weight[x]) * share + pilot[x] * pilotShare;
        }
    }
}

// The second pass: the noisy picture's groups, matched on the pilot's brightness, through the
// Wiener filter the pilot's groups give, in each group's own colour axes. Each channel's patches
// weigh by the noise the axes leave in it (each axis's share along the channel).
void WienerPass(const SimilarityPlanes& p, const PatchNoise& noise, const PictureRect& rect, GroupWork& work)
{
    ClearSums(p);
    const PassShape shape = WienerShape(p.plan);
    ForEachReferenceReaching(p, rect, shape, [&](int x, int y) {
        // The pilot has changed since the first pass's coefficients 0.
        const float dc = PatchDc(p.pilot[0] + OffsetOf(p, x, y), p.stride);
        const auto [count, code] = GroupOf(p, p.pilot[0], shape, x, y, dc, work);
        TransformGroups(p, count, work);
        float* const group[3] = {work.coefficients[0], work.coefficients[1], work.coefficients[2]};
        const float* const pilot[3] = {work.pilot[0], work.pilot[1], work.pilot[2]};
        const float* const variance[3] = {noise.variance[0][code], noise.variance[1][code], noise.variance[2][code]};
        const float* const covariance[3] = {noise.covariance[0][code], noise.covariance[1][code],
                                            noise.covariance[2][code]};
        const ColourAxes axes = GroupColourAxes(pilot, count);
        float left[3];
        WienerGroup(group, pilot, count, axes, variance, noise.correlated[code] ? covariance : nullptr, left);
        const float(&a)[3][3] = axes.axis;
        for (int c = 0; c < 3; ++c) {
            if (!noise.present[c]) continue;
            const float channelLeft =
                (a[0][c] * a[0][c] * left[0] + a[1][c] * a[1][c] * left[1]) + a[2][c] * a[2][c] * left[2];
            AddGroup(p, noise, c, patchSide, count, channelLeft, group[c], work);
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

// Up to eight references of the Bayes step, one in each lane: their groups' offsets in the frame,
// values and noise as the kernel takes them, and the estimates it gives; and the offsets of a
// patch's samples from its top-left one.
static_assert(bayesGroup <= mostMatches);
struct BayesBatch {
    int count = 0;
    int offset[bayesLanes][bayesGroup];
    int sampleAt[bayesSamples];
    float pilot[bayesGroup * bayesValues * bayesLanes];
    float noisy[bayesGroup * bayesValues * bayesLanes];
    float noise[bayesValues * bayesLanes];
    float estimate[bayesGroup * bayesValues * bayesLanes];
};

// The reference at (x, y) takes the next lane: its group of patches, matched on the pilot's
// brightness and mean colour, and the noise at its brightness.
void AddBayesReference(const SimilarityPlanes& p, const PatchNoise& noise, const MatchPlanes& matchOn, int x, int y,
                       BayesBatch& batch)
{
    const int lane = batch.count++;
    const int* offset = batch.offset[lane];
    // A picture the stage takes (8 x 8 at least) holds 36 candidates or more in every window, so
    // the group is full; the reference stands in for any patch missing all the same.
    const int matched = MatchPatches(matchOn, p.stride, bayesSide, x - p.frame.left, y - p.frame.top,
                                     WindowOf(p, bayesShape, x, y), bayesGroup, batch.offset[lane]);
    for (int n = matched; n < bayesGroup; ++n) batch.offset[lane][n] = offset[0];
    float sum = 0.0f;
    for (int s = 0; s < bayesSamples; ++s) sum += p.pilot[0][offset[0] + batch.sampleAt[s]];
    // The codes are read off an 8 x 8 patch's coefficient 0: the mean times 8.
    const int code = PatchBrightnessCode(sum * (static_cast<float>(patchSide) / static_cast<float>(bayesSamples)));
    for (int c = 0; c < 3; ++c) {
        const int firstValue = c * bayesSamples;
        const float variance = noise.variance[c][code][patchSize - 1] * bayesNoiseShare;
        for (int s = 0; s < bayesSamples; ++s) batch.noise[(firstValue + s) * bayesLanes + lane] = variance;
        for (int n = 0; n < bayesGroup; ++n) {
            const float* pilot = p.pilot[c] + offset[n];
            const float* noisy = p.noisy[c] + offset[n];
            const int slot = (n * bayesValues + firstValue) * bayesLanes + lane;
            for (int s = 0; s < bayesSamples; ++s) {
                batch.pilot[slot + s * bayesLanes] = pilot[batch.sampleAt[s]];
                batch.noisy[slot + s * bayesLanes] = noisy[batch.sampleAt[s]];
            }
        }
    }
}

// The batch's estimates, added to the sums lane after lane in the references' order; the plain
// count of estimates in weight[0]. Lanes left empty repeat lane 0 and are dropped.
void EstimateBayesBatch(const SimilarityPlanes& p, BayesBatch& batch)
{
    for (int lane = batch.count; lane < bayesLanes; ++lane)
        for (int at = 0; at < bayesValues; ++at) {
            batch.noise[at * bayesLanes + lane] = batch.noise[at * bayesLanes];
            for (int n = 0; n < bayesGroup; ++n) {
                const int slot = (n * bayesValues + at) * bayesLanes;
                batch.pilot[slot + lane] = batch.pilot[slot];
                batch.noisy[slot + lane] = batch.noisy[slot];
            }
        }
    BayesEstimateGroups(batch.pilot, batch.noisy, batch.noise, batch.estimate);
    for (int lane = 0; lane < batch.count; ++lane)
        for (int n = 0; n < bayesGroup; ++n) {
            const int patch = batch.offset[lane][n];
            const float* estimate = batch.estimate + n * bayesValues * bayesLanes + lane;
            for (int c = 0; c < 3; ++c) {
                float* sum = p.sum[c] + patch;
                for (int s = 0; s < bayesSamples; ++s)
                    sum[batch.sampleAt[s]] += estimate[(c * bayesSamples + s) * bayesLanes];
            }
            float* count = p.weight[0] + patch;
            for (int s = 0; s < bayesSamples; ++s) count[batch.sampleAt[s]] += 1.0f;
        }
    batch.count = 0;
}

// Each colour channel's sum over the small patch at every place of the frame in the pilot, divided
// by the patch's side, to colour[channel - 1]: in a distance its square weighs as if each of the
// patch's samples had the patch's mean colour. Over the whole frame: the lanes the matching
// computes beyond a window and drops must read numbers too (they only lower a chunk's least).
void PatchColourPlanes(const SimilarityPlanes& p, float* const (&colour)[2])
{
    const float scale = 1.0f / static_cast<float>(bayesSide);
    for (int c = 1; c < 3; ++c)
        for (int y = 0; y + bayesSide <= p.frame.height; ++y) {
            const float* top = p.pilot[c] + static_cast<std::size_t>(y) * p.stride;
            float* out = colour[c - 1] + static_cast<std::size_t>(y) * p.stride;
            for (int x = 0; x + bayesSide <= p.frame.width; ++x) {
                float sum = 0.0f;
                for (int i = 0; i < bayesSide; ++i) {
                    const float* row = top + i * p.stride + x;
                    float rowSum = row[0];
                    for (int j = 1; j < bayesSide; ++j) rowSum += row[j];
                    sum += rowSum;
                }
                out[x] = sum * scale;
            }
        }
}

// The Bayes step over the core, with the pilot planes holding the Wiener result. The patches' mean
// colours go to the dc planes, which the first pass is done with.
void BayesStep(const SimilarityPlanes& p, const PatchNoise& noise)
{
    ClearSums(p);
    PatchColourPlanes(p, {p.dc[1], p.dc[2]});
    const MatchPlanes matchOn{p.pilot[0], {p.dc[1], p.dc[2]}};
    BayesBatch batch;
    for (int s = 0; s < bayesSamples; ++s) batch.sampleAt[s] = s / bayesSide * p.stride + s % bayesSide;
    ForEachReferenceReaching(p, p.core, bayesShape, [&](int x, int y) {
        AddBayesReference(p, noise, matchOn, x, y, batch);
        if (batch.count == bayesLanes) EstimateBayesBatch(p, batch);
    });
    if (batch.count > 0) EstimateBayesBatch(p, batch);
}

// The weighted sums' means over the rectangle, to the pilot planes.
void SumsToPilot(const SimilarityPlanes& p, const PictureRect& rect)
{
    for (int c = 0; c < 3; ++c)
        for (int y = rect.top; y < rect.Bottom(); ++y) {
            const std::size_t at = static_cast<std::size_t>(y - p.frame.top) * p.stride + (rect.left - p.frame.left);
            for (int x = 0; x < rect.width; ++x) p.pilot[c][at + x] = p.sum[c][at + x] / p.weight[c][at + x];
        }
}

}  // namespace

std::size_t SimilarityPlaneFloats(int frameWidth, int frameHeight)
{
    return static_cast<std::size_t>(frameWidth + padding) * frameHeight;
}

StagePlan StagePlanFor(const PatchNoise& noise)
{
    StagePlan plan;
    plan.bayesStep = noise.white && noise.present[0] && noise.present[1] && noise.present[2];
    if (noise.white) {
        plan.largePatches = true;
        return plan;
    }
    float loudest = 0.0f;
    for (const auto& code : noise.variance[0]) loudest = std::max(loudest, code[patchSize - 1]);
    plan.largePatches = loudest >= largePatchesFrom * largePatchesFrom;
    return plan;
}

PictureRect SimilarityFrame(const PictureRect& picture, const PictureRect& core, const StagePlan& plan)
{
    return Inflate(core, SimilarityMargin(plan), picture);
}

void SimilarityDenoise(const SimilarityPlanes& p, const PatchNoise& noise, float* const* out)
{
    const bool fits = p.picture.width >= patchSide && p.picture.height >= patchSide;
    const bool largeFits = p.picture.width >= largePatchSide && p.picture.height >= largePatchSide;
    // Where the step runs, the Wiener result is its pilot as far as it reaches.
    const bool bayes = fits && p.plan.bayesStep;
    const PictureRect wienerRect = bayes ? Inflate(p.core, bayesReach, p.picture) : p.core;
    GroupWork work;
    if (fits) {
        const PictureRect pilotRect = Inflate(wienerRect, passReach, p.picture);
        const PassShape shape = p.plan.largePatches && largeFits ? LargeShape(p.plan) : firstShape;
        HardThresholdPass(p, noise, pilotRect, shape, work);
        MixPilot(p, noise, pilotRect, FirstPassShare(p.plan, shape));
        WienerPass(p, noise, wienerRect, work);
    }
    if (bayes) {
        SumsToPilot(p, wienerRect);
        BayesStep(p, noise);
    }
    for (int c = 0; c < 3; ++c) {
        const bool filtered = fits && noise.present[c];
        for (int y = 0; y < p.core.height; ++y) {
            const std::size_t at =
                static_cast<std::size_t>(y + p.core.top - p.frame.top) * p.stride + (p.core.left - p.frame.left);
            const float* sum = p.sum[c] + at;
            const float* weight = p.weight[bayes ? 0 : c] + at;
            const float* pilot = p.pilot[c] + at;
            float* row = out[c] + static_cast<std::size_t>(y) * p.core.width;
            for (int x = 0; x < p.core.width; ++x)
                row[x] = bayes      ? (sum[x] / weight[x]) * bayesShare + pilot[x] * (1.0f - bayesShare)
                         : filtered ? sum[x] / weight[x]
                                    : pilot[x];
        }
    }
}
