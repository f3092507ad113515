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

// A channel's noise near one end of the range: the loudest finest detail among the brightness bins
// of the two thirds of the range nearer that end (or the bin nearest it). Bins that hold clipped
// samples read the noise low, so those nearest the ends alone would undo too little.
double EndVariance(const NoiseLevels& noise, int channel, bool bright)
{
    double loudest = 0;
    for (int bin = 0; bin < noise.bins; ++bin) {
        const bool near = bright ? noise.brightness[bin] >= 85.0f : noise.brightness[bin] <= 170.0f;
        const bool nearest = bin == (bright ? noise.bins - 1 : 0);
        const double sigma = noise.band[bin][channel][0][2];
        if (near || nearest) loudest = std::max(loudest, sigma * sigma);
    }
    return loudest;
}

}  // namespace

void MeasuredClippingCorrection(const NoiseLevels& noise, int strength, ClippingCorrection& out)
{
    const double scale = std::min(strength, 50) / 50.0;
    const GaussTaps taps = MakeTaps();
    // The opponent channels' noise in R, G and B: R and B take a third of the brightness's
    // variance, half of red-blue's and a sixth of green-magenta's; G a third of the brightness's and
    // two thirds of green-magenta's.
    for (int channel = 0; channel < 3; ++channel) {
        const double redBlue = channel == 1 ? 0.0 : 0.5, greenMagenta = channel == 1 ? 4.0 / 6.0 : 1.0 / 6.0;
        double sigma[2];
        for (int end = 0; end < 2; ++end) {
            const double variance = EndVariance(noise, 0, end == 1) / 3 + EndVariance(noise, 1, end == 1) * redBlue +
                                    EndVariance(noise, 2, end == 1) * greenMagenta;
            sigma[end] = std::sqrt(variance) * scale;
        }
        InvertChannel(taps, sigma[0], sigma[1], out.value[channel]);
    }
}
