#include "engine/fine/patch_noise.h"

#include <algorithm>
#include <cmath>

namespace {

// The hard threshold, in noise standard deviations.
constexpr float hardThreshold = 3.0f;
// The least variance the filters are given: for a patch's mean, which the stage takes from the
// pilot, and where nothing was measured (a clean part of the picture, or the flat parts a light
// JPEG leaves without grain). Small enough to keep what it applies to, and not zero, so that a
// Wiener factor of a coefficient that is zero in the pilot is zero rather than not a number.
constexpr float leastVariance = 1e-6f;

using Correlation = double[noiseSide];  // at [d + noiseReach], |d| <= noiseReach

// sum over n of f(n) f(n + d) of a filter of the given taps.
void CorrelationOf(const float* taps, int count, Correlation& out)
{
    for (int d = -noiseReach; d <= noiseReach; ++d) {
        double sum = 0;
        for (int n = 0; n < count; ++n)
            if (n + d >= 0 && n + d < count) sum += static_cast<double>(taps[n]) * taps[n + d];
        out[d + noiseReach] = sum;
    }
}

// The variance of a separable filter's output (down the columns, along the rows) on noise with
// autocovariance r (rows dy, columns dx).
double FilterVariance(const float (&r)[noiseSide][noiseSide], const Correlation& down, const Correlation& across)
{
    double sum = 0;
    for (int dy = 0; dy < noiseSide; ++dy)
        for (int dx = 0; dx < noiseSide; ++dx) sum += down[dy] * across[dx] * r[dy][dx];
    return sum;
}

// The wavelet level whose detail band matches a patch frequency (0 ... patchSide - 1) of the
// coarse coefficients, or -1 for the mean and the finer ones, which the autocovariance describes
// well: a frequency of 1 is a half wave over 8 pixels, as the level-2 band; 2 and 3 are as the
// level-1 band.
constexpr int bandLevelOf[patchSide] = {-1, 2, 1, 1, -1, -1, -1, -1};

// How much louder than the finest diagonal detail each coefficient's noise is in a bin: as the
// autocovariance says, and for the coarse coefficients at least as loud as the matching band (the
// autocovariance reaches two pixels; the bands may have been measured over wide windows, where a
// camera left its colour noise in blotches); but only where the measurement found the noise
// coloured at all (some band above the finest diagonal one), and never more than its loudest band.
void CoefficientGains(const NoiseLevels& noise, int bin, int c, float (&gain)[patchSize])
{
    const float anchor = noise.band[bin][c][0][2];
    float loudest = anchor;
    for (const auto& level : noise.band[bin][c])
        for (float band : level) loudest = std::max(loudest, band);
    std::fill(gain, gain + patchSize, 1.0f);
    if (!(anchor > 0.0f) || loudest <= anchor) return;
    const auto& r = noise.autocovariance[bin][c];
    // The anchor is the finest diagonal detail's, (p00 - p01 - p10 + p11) / 2.
    const float difference[2] = {0.70710678f, -0.70710678f};
    Correlation finest, basis[patchSide];
    CorrelationOf(difference, 2, finest);
    for (int k = 0; k < patchSide; ++k) CorrelationOf(patchDct[k], patchSide, basis[k]);
    const double base = FilterVariance(r, finest, finest);
    if (!(base > 0)) return;
    const float cap = loudest / anchor;
    for (int u = 0; u < patchSide; ++u)
        for (int v = 0; v < patchSide; ++v) {
            float ratio = static_cast<float>(std::sqrt(std::max(FilterVariance(r, basis[v], basis[u]), 0.0) / base));
            // basis[u] runs along the rows and basis[v] down the columns; orientation 0 of the
            // bands varies down the columns, 1 along the rows, 2 both ways.
            const int level = bandLevelOf[std::max(u, v)];
            if (level >= 0) {
                const int orientation = u == 0 ? 0 : v == 0 ? 1 : 2;
                ratio = std::max(ratio, noise.band[bin][c][level][orientation] / anchor);
            }
            gain[u * patchSide + v] = std::clamp(ratio, 1.0f, cap);
        }
}

// The two bins a brightness lies between and how far: between two bins the figures are
// interpolated, beyond the ends they stay.
struct BinsAround {
    int low, high;
    float t;
};
BinsAround BinsAt(const NoiseLevels& noise, float brightness)
{
    int low = 0, high = 0;
    float t = 0.0f;
    while (high + 1 < noise.bins && noise.brightness[high] <= brightness) ++high;
    if (high > 0 && noise.brightness[high] > brightness) {
        low = high - 1;
        const float span = noise.brightness[high] - noise.brightness[low];
        t = span > 0.0f ? (brightness - noise.brightness[low]) / span : 1.0f;
    } else {
        low = high;
    }
    return {low, high, t};
}

// Correlations this weak are taken as none: texture and clipping in the flattest blocks read up
// to about this much, and they gain nothing (a camera's colour matrix gives 0.3 to 0.7).
constexpr float correlationDeadZone = 0.2f;
// A coefficient whose noise is fainter than this share of the pixels' (the finest coefficients of
// noise a camera smoothed) has too little to tell its correlation from the sums' scatter: it is
// taken as uncorrelated.
constexpr double faintShare = 0.5;

// Whether a bin's noise was found white in space: every band of every channel at its finest
// diagonal figure. Noise white in R, G and B is white in space and uncorrelated across the
// channels, and what the flattest blocks then show of correlation is the picture's own (coloured
// texture, one of R, G and B clipped); a camera's demosaicing always leaves its noise coloured.
bool WhiteInSpace(const NoiseLevels& noise, int bin)
{
    for (const auto& channel : noise.band[bin])
        for (const auto& level : channel)
            for (float band : level)
                if (band != channel[0][2]) return false;
    return true;
}

// The correlation of two channels' noise in each coefficient of a patch in a bin, from the
// channels' autocovariances and their cross-covariance: the correlation changes with the scale (a
// camera's colour smoothing correlates the coarse coefficients most).
void CoefficientCorrelations(const NoiseLevels& noise, int bin, int pair, float (&correlation)[patchSize])
{
    if (WhiteInSpace(noise, bin)) {
        std::fill(correlation, correlation + patchSize, 0.0f);
        return;
    }
    const auto& ru = noise.autocovariance[bin][noisePairFirst[pair]];
    const auto& rv = noise.autocovariance[bin][noisePairSecond[pair]];
    const auto& cross = noise.crossCovariance[bin][pair];
    Correlation basis[patchSide];
    for (int k = 0; k < patchSide; ++k) CorrelationOf(patchDct[k], patchSide, basis[k]);
    const double faintU = faintShare * ru[noiseReach][noiseReach], faintV = faintShare * rv[noiseReach][noiseReach];
    for (int u = 0; u < patchSide; ++u)
        for (int v = 0; v < patchSide; ++v) {
            const double varianceU = FilterVariance(ru, basis[v], basis[u]),
                         varianceV = FilterVariance(rv, basis[v], basis[u]);
            const bool measurable = varianceU > faintU && varianceV > faintV && faintU > 0 && faintV > 0;
            const float rho =
                measurable
                    ? static_cast<float>(FilterVariance(cross, basis[v], basis[u]) / std::sqrt(varianceU * varianceV))
                    : 0.0f;
            const float magnitude = std::min(std::fabs(rho), 1.0f);
            correlation[u * patchSide + v] = magnitude < correlationDeadZone ? 0.0f : std::copysign(magnitude, rho);
        }
}

}  // namespace

void MeasuredPatchNoise(const NoiseLevels& noise, int strength, PatchNoise& out)
{
    const float scale = static_cast<float>(strength) / 50.0f;
    float gain[noiseBinsMax][patchSize];
    for (int c = 0; c < 3; ++c) {
        out.sigma[c] = noise.sigma[c] * scale;
        out.present[c] = out.sigma[c] > 0.0f;
        for (int bin = 0; bin < noise.bins; ++bin) CoefficientGains(noise, bin, c, gain[bin]);
        for (int code = 0; code < patchBrightnessCodes; ++code) {
            const auto [low, high, t] = BinsAt(noise, static_cast<float>(code) + 0.5f);
            const float anchorLow = noise.band[low][c][0][2], anchorHigh = noise.band[high][c][0][2];
            for (int i = 0; i < patchSize; ++i) {
                const float sigmaLow = anchorLow * gain[low][i], sigmaHigh = anchorHigh * gain[high][i];
                const float sigma = (sigmaLow + (sigmaHigh - sigmaLow) * t) * scale;
                out.variance[c][code][i] = i == 0 ? leastVariance : std::max(sigma * sigma, leastVariance);
                out.threshold[c][code][i] = i == 0 ? 0.0f : hardThreshold * sigma;
            }
        }
    }
    out.white = true;
    for (int bin = 0; bin < noise.bins; ++bin) out.white = out.white && WhiteInSpace(noise, bin);
    float correlation[noiseBinsMax][patchSize];
    std::fill(out.correlated, out.correlated + patchBrightnessCodes, false);
    for (int pair = 0; pair < 3; ++pair) {
        const int u = noisePairFirst[pair], v = noisePairSecond[pair];
        for (int bin = 0; bin < noise.bins; ++bin) CoefficientCorrelations(noise, bin, pair, correlation[bin]);
        for (int code = 0; code < patchBrightnessCodes; ++code) {
            const BinsAround around = BinsAt(noise, static_cast<float>(code) + 0.5f);
            for (int i = 0; i < patchSize; ++i) {
                const float low = correlation[around.low][i], high = correlation[around.high][i];
                const float rho = low + (high - low) * around.t;
                const bool both = out.present[u] && out.present[v] && i != 0;
                out.covariance[pair][code][i] =
                    both ? rho * std::sqrt(out.variance[u][code][i]) * std::sqrt(out.variance[v][code][i]) : 0.0f;
                if (out.covariance[pair][code][i] != 0.0f) out.correlated[code] = true;
            }
        }
    }
}

int PatchBrightnessCode(float brightnessDc)
{
    // Coefficient 0 is the sum over 8 (the mean times 8); the brightness channel is the sum of R, G
    // and B over sqrt 3.
    constexpr float toMean = 1.0f / (8.0f * 1.7320508f);
    const float mean = brightnessDc * toMean;
    return mean <= 0.0f ? 0 : mean >= 255.0f ? 255 : static_cast<int>(mean);
}
