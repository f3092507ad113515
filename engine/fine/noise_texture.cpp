#include "engine/fine/noise_texture.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/fine/noise_band_shape.h"

namespace {

// Natural texture is a pattern of reflectances under the light, so its detail grows with the
// brightness; a camera's noise grows no louder from shadows to highlights through its tone curve
// (photon noise rises as the square root of the light, the curve's slope falls faster), and white
// noise stays the same. Where the finest detail of the picture's brighter parts is clearly louder
// than that of its darker parts, the figures read texture: fine texture everywhere (ripples of
// water, a stucco wall) made smaller, under weak noise. The test sorts the blocks into brightness
// groups of groupBlocks and keeps those away from black and white by clipMargin times their figure
// (clipping quiets the noise there); the median figure of the brightest third of them over the
// darkest third's, from riseNone to riseFull, is the share of texture, from none to all. Groups, not
// the bins, so that a picture of a few hundred blocks (one bin) is tested too: at least groupBlocks
// blocks each (some 10 000 finest values, a steady median), so that a picture of 192 x 192 pixels
// (about 120 blocks) has the three groups the test needs.
constexpr int groupBlocks = 40;
constexpr double clipMargin = 6.0;
constexpr double riseNone = 1.1;
constexpr double riseFull = 1.3;
constexpr int fewestClear = 3;  // the groups the test needs: a darker and a brighter third and one between
// What the test finds of texture holds each bin's figure towards the quieter darker parts, and
// takes the band shape, measured in texture too, part of the way back to white noise's: a camera's
// own noise reduction can leave its noise as steep a shape, and the whole way back lost more there
// than it won on texture.
constexpr double shapeReturn = 0.35;
// Texture that is a pattern of reflectances has a detail proportional to the brightness, and adds
// to the noise's in quadrature: figure^2 = noise^2 + (k brightness)^2. Where at least
// quadratureGroups clear groups follow that within quadratureFit, the noise is what the line
// through the darker and the brighter third leaves at black: below the darker parts' own figure,
// which still holds texture. At most down to quadratureFloor times that figure.
constexpr int quadratureGroups = 5;
constexpr double quadratureFit = 0.1;
constexpr double quadratureFloor = 0.5;

// Marks the groups far enough from black and white, by clipMargin times the noise's figure given
// for each group, for clipping not to quiet their noise.
template <typename FigureOf>
void MarkClear(BrightnessGroups& groups, FigureOf figureOf)
{
    groups.clearCount = 0;
    for (int g = 0; g < groups.count; ++g) {
        const float margin = static_cast<float>(clipMargin) * figureOf(g);
        groups.clear[g] =
            groups.finest[g][0] > 0 && groups.brightness[g] >= margin && groups.brightness[g] <= 255 - margin;
        groups.clearCount += groups.clear[g] ? 1 : 0;
    }
}

// The median of a few figures (sorted in place).
double MedianOfFew(double* values, int n)
{
    std::sort(values, values + n);
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The clear groups' figures of a channel and their brightness, darkest first; their number.
int ClearGroups(const BrightnessGroups& groups, int c, double* figure, double* brightness)
{
    int n = 0;
    for (int g = 0; g < groups.count; ++g)
        if (groups.clear[g]) {
            figure[n] = groups.finest[g][c];
            brightness[n++] = groups.brightness[g];
        }
    return n;
}

// The medians of the first and the last third of n values: the darker and the brighter groups'.
struct Thirds {
    double darker, brighter;
};
Thirds MediansOfThirds(const double* values, int n)
{
    const int third = (n + 2) / 3;
    double part[noiseBinsMax];
    std::copy(values, values + third, part);
    const double darker = MedianOfFew(part, third);
    std::copy(values + n - third, values + n, part);
    return {darker, MedianOfFew(part, third)};
}

}  // namespace

BrightnessGroups GroupBlocks(const std::vector<BlockFigures>& blocks, const std::vector<int>& order,
                             std::vector<int>& groupOf)
{
    const int count = static_cast<int>(blocks.size());
    BrightnessGroups groups;
    groups.count = std::clamp(count / groupBlocks, 1, noiseBinsMax);
    std::int64_t brightness[noiseBinsMax] = {};
    for (int rank = 0; rank < count; ++rank) {
        const std::size_t b = static_cast<std::size_t>(order[static_cast<std::size_t>(rank)]);
        const int g = static_cast<int>(static_cast<std::int64_t>(rank) * groups.count / count);
        groupOf[b] = g;
        ++groups.members[g];
        brightness[g] += blocks[b].brightness;
    }
    for (int g = 0; g < groups.count; ++g)
        groups.brightness[g] = static_cast<float>(static_cast<double>(brightness[g]) /
                                                  (3.0 * blockPixels * static_cast<double>(groups.members[g])));
    return groups;
}

void MeasureGroups(const std::uint32_t* counts, BrightnessGroups& groups)
{
    for (int g = 0; g < groups.count; ++g) {
        const std::uint32_t* at = counts + static_cast<std::size_t>(g) * 3 * histogramSize;
        const std::uint64_t values = static_cast<std::uint64_t>(groups.members[g]) * blockPixels;
        for (int c = 0; c < 3; ++c)
            groups.finest[g][c] = static_cast<float>(
                InterpolatedMedian(at + static_cast<std::size_t>(c) * histogramSize, values) * stepOf[c] / 0.6745);
    }
    MarkClear(groups, [&](int g) { return groups.finest[g][0]; });
    // Texture loud enough (ripples of water under weak noise) can leave too few groups clear of
    // black and white by their own figures for the test to run, though the noise itself is far from
    // clipping: the quietest group's figure then bounds the noise's deviation better.
    if (groups.clearCount < fewestClear) {
        float quietest = groups.finest[0][0];
        for (int g = 1; g < groups.count; ++g) quietest = std::min(quietest, groups.finest[g][0]);
        if (quietest > 0) MarkClear(groups, [quietest](int) { return quietest; });
    }
}

double TextureShare(const BrightnessGroups& groups)
{
    double figure[noiseBinsMax], brightness[noiseBinsMax];
    const int n = ClearGroups(groups, 0, figure, brightness);
    if (n < fewestClear) return 0.0;
    const auto [low, high] = MediansOfThirds(figure, n);
    if (!(low > 0)) return 0.0;
    return std::clamp((high / low - riseNone) / (riseFull - riseNone), 0.0, 1.0);
}

double TexturedGain(double gain, double texture)
{
    return 1 + (1 - shapeReturn * texture) * (gain - 1);
}

double NoiseBeneathTexture(const BrightnessGroups& groups, int c)
{
    double figure[noiseBinsMax], brightness[noiseBinsMax];
    const int n = ClearGroups(groups, c, figure, brightness);
    const double none = std::numeric_limits<double>::infinity();
    if (n < quadratureGroups) return none;
    const auto [low, high] = MediansOfThirds(figure, n);
    const auto [dark, bright] = MediansOfThirds(brightness, n);
    if (!(high > low) || !(bright > dark)) return none;
    const double slope = (high * high - low * low) / (bright * bright - dark * dark);
    const double noise = low * low - slope * dark * dark;
    for (int i = 0; i < n; ++i) {
        const double fitted = std::sqrt(std::max(noise + slope * brightness[i] * brightness[i], 0.0));
        if (!(std::abs(figure[i] / fitted - 1) <= quadratureFit)) return none;
    }
    return std::sqrt(std::max(noise, quadratureFloor * quadratureFloor * low * low));
}

float HeldAnchor(float anchor, int c, float binBrightness, const BrightnessGroups& groups, double texture,
                 double beneath)
{
    float quietest = anchor;
    for (int g = 0; g < groups.count; ++g)
        if (groups.clear[g] && groups.brightness[g] <= binBrightness)
            quietest = std::min(quietest, groups.finest[g][c]);
    quietest = static_cast<float>(std::min<double>(quietest, beneath));
    return anchor + static_cast<float>(texture) * (quietest - anchor);
}

// Under white noise in R, G and B the three channels' figures agree; fine achromatic texture
// (ripples of water, stucco, grass made smaller) raises the brightness's alone. So where the colour
// channels' noise looks white, their louder figure bounds the brightness's: it is lowered towards
// colourBound times that figure, never below brightnessFloor times its own, and never raised. A
// camera's colour noise is no bound: demosaicing, its own colour smoothing and JPEG leave it
// correlated (the second level's diagonal detail 2.4 to 6 times the finest, white noise 1), quieter
// than the brightness's at the finest scale and loud in the coarser ones, so the bound is trusted
// fully up to whiteShapeFull and not at all from whiteShapeNone. It needs colour noise well clear of
// the 8-bit steps (colourLeast: noise added to the brightness alone leaves colour only where a
// channel clips, and rounding's), and a brightness no more than ratioFull (trusted fully) to
// ratioNone times the colour's (texture under white noise reads up to about 2.1 times; noise in
// the brightness alone, clipped in saturated colours, 3.5 times and more).
void BoundBrightnessByColour(const float (&autocovariance)[3][noiseSide][noiseSide], float (&band)[3][noiseLevels][3])
{
    constexpr double colourBound = 1.08, brightnessFloor = 0.6;
    constexpr double whiteShapeFull = 1.15, whiteShapeNone = 1.4;
    constexpr double colourLeast = 2.0, ratioFull = 2.2, ratioNone = 2.8;
    const double anchor = band[0][0][2], colour = std::max(band[1][0][2], band[2][0][2]);
    if (!(colour > colourLeast) || !(anchor > colourBound * colour)) return;
    double steepest = 0;
    for (int c = 1; c < 3; ++c) {
        const double finest = BandVariance(autocovariance[c], 0, 2), second = BandVariance(autocovariance[c], 1, 2);
        if (!(finest > 0)) return;
        steepest = std::max(steepest, std::sqrt(std::max(second, 0.0) / finest));
    }
    const auto ramp = [](double value, double full, double none) {
        return std::clamp((none - value) / (none - full), 0.0, 1.0);
    };
    const double trust = ramp(steepest, whiteShapeFull, whiteShapeNone) * std::min(colour / colourLeast - 1, 1.0) *
                         ramp(anchor / colour, ratioFull, ratioNone);
    const double bound = std::max(colourBound * colour, brightnessFloor * anchor);
    const double factor = 1 - trust * (1 - bound / anchor);
    for (auto& level : band[0])
        for (float& value : level) value = static_cast<float>(value * factor);
}
