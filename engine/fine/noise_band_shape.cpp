#include "engine/fine/noise_band_shape.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// A band counts as louder than the finest diagonal detail only by more than this margin, and only
// where every channel's band is at least commonMargin times louder; a channel may then exceed the
// quietest channel's gain at most channelCap times.
constexpr double deadZone = 0.2;
constexpr double commonMargin = 1.1;
constexpr double channelCap = 1.5;
// A colour channel's second level at least this times louder than its finest: white noise reads 1,
// colour a camera smoothed 2.5 and more.
constexpr double colourSmooth = 2.0;
// A camera's own strong noise reduction blurs the brightness's noise over more pixels than the
// autocovariance's reach, so the coarse levels that follow from it read low: about 0.6 of the true
// noise on the camera model with that processing, against 1.0 without it or with a lighter one.
// Its mark: the brightness's fourth level at least smoothedShape times its finest (3.7 on the
// median picture; demosaicing, JPEG or the lighter reduction 1.7 to 3.1), while red-blue's finest
// figure is smoothedColourLeast to smoothedColourMost times the brightness's: the reduction quieted
// the brightness's finest detail almost as much as JPEG quieted the colour's (JPEG after no or a
// light reduction leaves 0.1 to 0.3, a picture without JPEG 0.55 and more). Louder noise steepens
// the shape and lets JPEG quiet the colour further, so a shape of smoothedShapeSteep admits red-blue
// down to smoothedColourSteep. Where at least half the bins bear the mark, the brightness's third to
// fifth levels are raised smoothedRaise times, what the model's measured figure lacked there.
// Pictures of strong fine texture can bear the shape's mark under any processing; the colour's
// bounds keep them out where the picture went through JPEG.
constexpr double smoothedShape = 3.3;
constexpr double smoothedColourLeast = 0.3;
constexpr double smoothedShapeSteep = 3.6;
constexpr double smoothedColourSteep = 0.2;
constexpr double smoothedColourMost = 0.5;
constexpr float smoothedRaise = 1.7f;
constexpr int smoothedFirstLevel = 2;

// sum_n h(n) h(n + u) of a level's one-dimensional Haar filter of 2^(level + 1) taps, smooth (all
// +1) or detail (+1 then -1), times the number of taps, for |u| <= noiseReach.
std::array<int, noiseSide> FilterCorrelation(int level, bool detail)
{
    const int taps = 2 << level;
    std::array<int, noiseSide> correlation{};
    for (int u = -noiseReach; u <= noiseReach; ++u)
        for (int n = 0; n < taps; ++n) {
            const int m = n + u;
            if (m < 0 || m >= taps) continue;
            const int sn = detail && n >= taps / 2 ? -1 : 1, sm = detail && m >= taps / 2 ? -1 : 1;
            correlation[static_cast<std::size_t>(u + noiseReach)] += sn * sm;
        }
    return correlation;
}

// Whether at least half the bins bear the mark of a camera's strong noise reduction (see
// smoothedShape). The figures are the sums over the three orientations.
bool StronglySmoothed(const NoiseLevels& noise)
{
    const auto total = [](const float (&orientations)[3]) {
        return static_cast<double>(orientations[0] + orientations[1] + orientations[2]);
    };
    int marked = 0;
    for (int bin = 0; bin < noise.bins; ++bin) {
        const auto& band = noise.band[bin];
        const double finest = total(band[0][0]);
        if (!(finest > 0)) continue;
        const double shape = total(band[0][3]) / finest, colour = total(band[1][0]) / finest;
        const bool usual = shape >= smoothedShape && colour >= smoothedColourLeast;
        const bool steep = shape >= smoothedShapeSteep && colour >= smoothedColourSteep;
        if ((usual || steep) && colour <= smoothedColourMost) ++marked;
    }
    return 2 * marked >= noise.bins;
}

}  // namespace

double BandVariance(const float (&r)[noiseSide][noiseSide], int level, int orientation)
{
    const bool detailDown = orientation != 1, detailAcross = orientation != 0;
    const std::array<int, noiseSide> down = FilterCorrelation(level, detailDown);
    const std::array<int, noiseSide> across = FilterCorrelation(level, detailAcross);
    const double taps = static_cast<double>(2 << level);
    double sum = 0;
    for (int dy = 0; dy < noiseSide; ++dy)
        for (int dx = 0; dx < noiseSide; ++dx)
            sum += static_cast<double>(down[static_cast<std::size_t>(dy)] * across[static_cast<std::size_t>(dx)]) *
                   static_cast<double>(r[dy][dx]);
    return sum / (taps * taps);
}

bool SmoothedColour(const float (&r)[noiseSide][noiseSide])
{
    const double finest = BandVariance(r, 0, 2), second = BandVariance(r, 1, 2);
    return finest > 0 && second >= colourSmooth * colourSmooth * finest;
}

void BandGains(const NoiseLevels& noise, int bin, double (&gain)[3][noiseBands])
{
    for (int c = 0; c < 3; ++c) {
        const auto& r = noise.autocovariance[bin][c];
        const double base = BandVariance(r, 0, 2);
        for (int i = 0; i < noiseBands; ++i) {
            const double ratio = base > 0 ? std::sqrt(std::max(BandVariance(r, i / 3, i % 3), 0.0) / base) : 1.0;
            gain[c][i] = std::max(1.0, ratio - deadZone);
        }
    }
    double agrees[3][noiseBands];
    std::copy(&gain[0][0], &gain[0][0] + 3 * noiseBands, &agrees[0][0]);
    for (int c = 1; c < 3; ++c)
        if (SmoothedColour(noise.autocovariance[bin][c]))
            for (int i = 2 * 3; i < noiseBands; ++i) agrees[c][i] = std::max(agrees[c][i], agrees[c][i - 3]);
    for (int i = 0; i < noiseBands; ++i) {
        const double common = std::min({agrees[0][i], agrees[1][i], agrees[2][i]});
        for (auto& channel : gain)
            channel[i] = common < commonMargin ? 1.0 : std::min(channel[i], channelCap * common);
    }
}

void RaiseStronglySmoothed(NoiseLevels& noise)
{
    if (!StronglySmoothed(noise)) return;
    for (int bin = 0; bin < noise.bins; ++bin)
        for (int level = smoothedFirstLevel; level < noiseLevels; ++level)
            for (float& value : noise.band[bin][0][level]) value *= smoothedRaise;
}
