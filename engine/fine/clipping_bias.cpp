#include "engine/fine/clipping_bias.h"

#include <algorithm>
#include <cmath>

namespace {

// The noise's distribution is summed over offsets an eighth of its deviation apart, six deviations
// either way, weighed exp(-k² / 128). The weights come from exp(-1 / 128) by multiplication alone,
// so every build computes the same bits without a mathematical library.
constexpr int tapsPerSigma = 8;
constexpr int reach = 6 * tapsPerSigma;
constexpr double tapRatio = 0.99221793826024397;  // exp(-1 / 128)
// Below this deviation the clipped mean is within a fifth of a level of the value: no correction.
constexpr double leastSigma = 0.5;
// R, G and B's shares of each opponent channel's variance: a third each of the brightness's, half
// of red-blue's to R and B, and of green-magenta's two thirds to G and a sixth to R and B.
constexpr double rgbShares[3][3] = {{1.0 / 3, 1.0 / 3, 1.0 / 3}, {0.5, 0.0, 0.5}, {1.0 / 6, 4.0 / 6, 1.0 / 6}};

struct GaussTaps {
    double weight[2 * reach + 1];
};

GaussTaps MakeTaps()
{
    GaussTaps taps;
    // exp(-k² / 128) = exp(-(k - 1)² / 128) exp(-(2k - 1) / 128)
    double w = 1.0, ratio = tapRatio;
    taps.weight[reach] = 1.0;
    for (int k = 1; k <= reach; ++k) {
        w *= ratio;
        ratio *= tapRatio * tapRatio;
        taps.weight[reach + k] = w;
        taps.weight[reach - k] = w;
    }
    double total = 0;
    for (double weight : taps.weight) total += weight;
    for (double& weight : taps.weight) weight /= total;
    return taps;
}

// How far clipping at 0 raises the mean of x under noise of deviation sigma: the mean of
// max(0, -(x + n)).
double Shortfall(const GaussTaps& taps, double x, double sigma)
{
    const double step = sigma / tapsPerSigma;
    if (x - reach * step >= 0.0) return 0.0;
    double sum = 0;
    for (int k = -reach; k <= reach; ++k) sum += taps.weight[reach + k] * std::max(0.0, -(x + k * step));
    return sum;
}

// The mean of x under noise clipped to 0 ... 255, of deviation low near 0 and high near 255.
double ClippedMean(const GaussTaps& taps, double x, double low, double high)
{
    return (x + Shortfall(taps, x, low)) - Shortfall(taps, 255.0 - x, high);
}

// One channel's table: ClippedMean inverted, walking x up a grid as fine as the table's and
// interpolating between its points (the mean rises smoothly with x).
void InvertChannel(const GaussTaps& taps, double low, double high, float* table)
{
    if (low < leastSigma && high < leastSigma) {
        for (int i = 0; i < clippingEntries; ++i) table[i] = static_cast<float>(i) / clippingSteps;
        return;
    }
    const double step = 1.0 / clippingSteps, last = 255.0 + 6.0 * high;
    double x = -6.0 * low, mean = ClippedMean(taps, x, low, high);
    double next = ClippedMean(taps, x + step, low, high);
    for (int i = 0; i < clippingEntries; ++i) {
        const double target = static_cast<double>(i) / clippingSteps;
        while (next < target && x < last) {
            x += step;
            mean = next;
            next = ClippedMean(taps, x + step, low, high);
        }
        const double t = next > mean ? std::clamp((target - mean) / (next - mean), 0.0, 1.0) : 0.0;
        table[i] = static_cast<float>(x + step * t);
    }
}

// Noise of deviation 1 on a value u from the nearer end of the range, clipped there: its mean's
// distance from that end and its variance, for u a sixteenth of a deviation apart, ascending.
struct OneSidedClipping {
    static constexpr int points = 12 * 16 + 1;
    double distance[points];
    double variance[points];
};

OneSidedClipping MakeOneSided(const GaussTaps& taps)
{
    OneSidedClipping clipping;
    for (int i = 0; i < OneSidedClipping::points; ++i) {
        const double u = -6.0 + i / 16.0;
        double sum = 0, squares = 0;
        for (int k = -reach; k <= reach; ++k) {
            const double v = std::max(0.0, u + static_cast<double>(k) / tapsPerSigma);
            sum += taps.weight[reach + k] * v;
            squares += taps.weight[reach + k] * v * v;
        }
        clipping.distance[i] = sum;
        clipping.variance[i] = std::max(0.0, squares - sum * sum);
    }
    return clipping;
}

// The variance, in deviations squared, of noise whose clipped mean lies distance deviations from
// the nearer end.
double ClippedVariance(const OneSidedClipping& clipping, double distance)
{
    const int last = OneSidedClipping::points - 1;
    if (distance >= clipping.distance[last]) return 1.0;
    if (distance <= clipping.distance[0]) return clipping.variance[0];
    int low = 0, high = last;
    while (high - low > 1) {
        const int mid = (low + high) / 2;
        (clipping.distance[mid] <= distance ? low : high) = mid;
    }
    const double t = (distance - clipping.distance[low]) / (clipping.distance[high] - clipping.distance[low]);
    return clipping.variance[low] + (clipping.variance[high] - clipping.variance[low]) * t;
}

// The share of each of R, G and B's noise variance that clipping leaves in a bin under noise of
// deviation sigma, from where the bin's blocks lie (unknown: grey at the bin's brightness).
void LeftVariance(const OneSidedClipping& clipping, const NoiseLevels& noise, int bin, double sigma, double (&left)[3])
{
    const auto at = [&](double level) { return ClippedVariance(clipping, std::min(level, 255.0 - level) / sigma); };
    for (int c = 0; c < 3; ++c) {
        const float* share = noise.levelShare[bin][c];
        double sum = 0, known = 0;
        for (int step = 0; step < levelSteps; ++step)
            if (share[step] > 0) {
                sum += share[step] * at((step + 0.5) * 256.0 / levelSteps);
                known += share[step];
            }
        left[c] = known > 0 ? sum / known : at(noise.brightness[bin]);
    }
}

// An opponent channel's finest detail in a bin as it was before clipping. The bin reads the noise
// of its samples near black or white low, which suits the filters (what they see is that flattened
// noise) but not the correction, which needs the deviation that produced the clipped means. Texture
// near the ends also raises a bin's figure, so it is raised at most largestGain times.
double UnclippedSigma(const OneSidedClipping& clipping, const NoiseLevels& noise, int bin, int channel)
{
    constexpr double largestGain = 1.6;
    const double measured = noise.band[bin][channel][0][2];
    if (!(measured >= leastSigma)) return measured;
    const auto clipped = [&](double sigma) {
        double left[3];
        LeftVariance(clipping, noise, bin, sigma, left);
        const double* w = rgbShares[channel];
        return sigma * std::sqrt(w[0] * left[0] + w[1] * left[1] + w[2] * left[2]);
    };
    // The clipped deviation rises with the deviation: bisection, to a thousandth.
    double low = measured, high = largestGain * measured;
    if (clipped(low) >= 0.999 * measured) return measured;
    if (clipped(high) <= measured) return high;
    for (int i = 0; i < 24; ++i) {
        const double sigma = 0.5 * (low + high);
        (clipped(sigma) < measured ? low : high) = sigma;
    }
    return 0.5 * (low + high);
}

using BinSigmas = double[noiseBinsMax][3];

// A channel's noise near one end of the range: the loudest unclipped finest detail among the
// brightness bins of the two thirds of the range nearer that end (or the bin nearest it).
double EndVariance(const NoiseLevels& noise, const BinSigmas& unclipped, int channel, bool bright)
{
    double loudest = 0;
    for (int bin = 0; bin < noise.bins; ++bin) {
        const bool near = bright ? noise.brightness[bin] >= 85.0f : noise.brightness[bin] <= 170.0f;
        const bool nearest = bin == (bright ? noise.bins - 1 : 0);
        const double sigma = unclipped[bin][channel];
        if (near || nearest) loudest = std::max(loudest, sigma * sigma);
    }
    return loudest;
}

}  // namespace

void MeasuredClippingCorrection(const NoiseLevels& noise, int strength, ClippingCorrection& out)
{
    const double scale = std::min(strength, 50) / 50.0;
    const GaussTaps taps = MakeTaps();
    const OneSidedClipping clipping = MakeOneSided(taps);
    BinSigmas unclipped;
    for (int bin = 0; bin < noise.bins; ++bin)
        for (int c = 0; c < 3; ++c) unclipped[bin][c] = UnclippedSigma(clipping, noise, bin, c);
    double ends[2][3];
    for (int end = 0; end < 2; ++end)
        for (int c = 0; c < 3; ++c) ends[end][c] = EndVariance(noise, unclipped, c, end == 1);
    // The opponent channels' noise in R, G and B, by the same shares.
    for (int channel = 0; channel < 3; ++channel) {
        double sigma[2];
        for (int end = 0; end < 2; ++end) {
            const double variance =
                ends[end][0] / 3 + ends[end][1] * rgbShares[1][channel] + ends[end][2] * rgbShares[2][channel];
            sigma[end] = std::sqrt(variance) * scale;
        }
        InvertChannel(taps, sigma[0], sigma[1], out.value[channel]);
    }
}
