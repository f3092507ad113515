#include "colour/lab.h"

#include <array>
#include <bit>
#include <cmath>
#include <limits>

#include "colour/lanes.h"
#include "colour/power.h"
#include "colour/power_kernel.h"
#include "support/sign_bits.h"

namespace {

constexpr double whiteX = 0.9642;
constexpr double whiteY = 1.0;
constexpr double whiteZ = 0.8249;
constexpr double sixteenOver116 = 0.13793103448275862;
constexpr double pi = 3.141592653589793;

// A sample's linear light after one tone curve, for each of the 256 sample values. It depends on
// the sample alone, so it is computed once, the sine, tangent and power by our own kernels, so
// that every build has the same bits (the C library's differ between platforms).
using LinearLight = std::array<double, 256>;

double ToneValue(int mode, double x)
{
    switch (mode) {
    case 1: return Sine(x * 0.35294117647058826 / 180 * pi);      // a quarter sine, brighter
    case 2: return Tangent(x * 0.17647058823529413 / 180 * pi);   // an eighth tangent, natural
    case 3: return (x * x) * 0.0000153;                            // a square; lowers white a little
    default: return x / 255;                                        // the identity curve
    }
}

double Linearise(double v)
{
    return v > 0.03928 ? LinearLightPower((v + 0.055) / 1.055) : v / 12.92;
}

LinearLight BuildLinearLight(int mode)
{
    LinearLight built{};
    for (int x = 0; x < 256; ++x) built[x] = Linearise(ToneValue(mode, x));
    return built;
}

// Each tone curve's table is built when first asked for: a run needs one, and building one takes
// a third of a millisecond.
const LinearLight& LinearLightFor(int mode)
{
    switch (mode) {
    case 1: { static const LinearLight bright = BuildLinearLight(1); return bright; }
    case 2: { static const LinearLight natural = BuildLinearLight(2); return natural; }
    case 3: { static const LinearLight dark = BuildLinearLight(3); return dark; }
    default: { static const LinearLight identity = BuildLinearLight(0); return identity; }
    }
}

double ExpandFromLab(double f)
{
    return f > 0.206893 ? CubePower(f) : (f - sixteenOver116) / 7.787;
}

double CompandToRgb(double v)
{
    return v > 0.00304 ? CompandPower(v) * 1.055 - 0.055 : v * 12.92;
}

template <class V>
QV_KERNEL V ClampToUnit(V v)
{
    return Pick(v > Splat<V>(1.0), Splat<V>(1.0), Pick(v < Splat<V>(0.0), Splat<V>(0.0), v));
}

template <class Products, class V>
QV_KERNEL V CompandToLab(V t, const PowerTables& powers)
{
    return Pick(t > Splat<V>(0.008856), CubeRootPowerOf<Products>(t, powers), 7.787 * t + sixteenOver116);
}

// One pixel's, or four pixels', way in from their linear light, as RgbToLab describes it; where it
// returns at once these give zeros. That happens for black, whose tone values sum to zero: every
// curve takes exactly the zero sample to zero, and only it, and so does linearisation.
template <class Products, class V>
QV_KERNEL void LabOf(V lr, V lg, V lb, const PowerTables& powers, V& lStar, V& aStar, V& bStar)
{
    const V x = 0.4124 * lr + 0.3576 * lg + 0.1805 * lb;
    const V y = 0.2126 * lr + 0.7152 * lg + 0.0722 * lb;
    const V z = 0.0193 * lr + 0.1192 * lg + 0.9505 * lb;

    // Bradford adaptation from D65 to D50.
    V x50 = ClampToUnit(1.0479 * x + 0.0229 * y - 0.0502 * z);
    const V y50 = ClampToUnit(0.0296 * x + 0.9904 * y - 0.0171 * z);
    V z50 = ClampToUnit(-0.0092 * x + 0.0151 * y + 0.7519 * z);
    const V sum = x50 + y50 + z50;
    const auto lit = Both(lr + lg + lb > Splat<V>(0.0), sum > Splat<V>(0.0));

    // The chromaticity step (NormalizeChromaticity).
    const V cx = x50 / sum, cy = y50 / sum, cz = z50 / sum;
    const auto moved = cx + cy + cz != Splat<V>(1.0);
    x50 = Pick(moved, (cx / cy) * y50, x50);
    z50 = Pick(moved, ((1.0 - cx - cy) / cy) * y50, z50);

    const V fx = CompandToLab<Products>(x50 / whiteX, powers);
    const V fy = CompandToLab<Products>(y50 / whiteY, powers);
    const V fz = CompandToLab<Products>(z50 / whiteZ, powers);
    lStar = Pick(lit, 116.0 * fy - 16.0, Splat<V>(0.0));
    aStar = Pick(lit, (fx - fy) * 500.0, Splat<V>(0.0));
    bStar = Pick(lit, (fy - fz) * 200.0, Splat<V>(0.0));
}

// One channel's table entries for four pixels in blue, green, red order. Lanes pass only
// between inlined functions (and no lambdas): a call would hand them over differently in the AVX2
// and the baseline code.
QV_KERNEL Lanes LanesOf(const std::array<double, 256>& table, const std::uint8_t* p, int channel)
{
    return Lanes{table[p[channel]], table[p[3 + channel]], table[p[6 + channel]], table[p[9 + channel]]};
}

// The row loop: four pixels at a time, the rest one by one.
template <class Products>
QV_KERNEL void RgbRowToLabBody(const LinearLight& linear, const std::uint8_t* bgr, int count,
                               double* lStar, double* aStar, double* bStar)
{
    const PowerTables& powers = PowerKernelTables();
    int x = 0;
    for (; x + laneCount <= count; x += laneCount) {
        const std::uint8_t* p = bgr + 3 * x;
        Lanes l, a, b;
        LabOf<Products>(LanesOf(linear, p, 2), LanesOf(linear, p, 1), LanesOf(linear, p, 0), powers, l, a, b);
        __builtin_memcpy(lStar + x, &l, sizeof l);
        __builtin_memcpy(aStar + x, &a, sizeof a);
        __builtin_memcpy(bStar + x, &b, sizeof b);
    }
    for (; x < count; ++x) {
        const std::uint8_t* p = bgr + 3 * x;
        LabOf<Products>(linear[p[2]], linear[p[1]], linear[p[0]], powers, lStar[x], aStar[x], bStar[x]);
    }
}

[[gnu::target("avx2,fma")]] void RgbRowToLabAvx2(const LinearLight& linear, const std::uint8_t* bgr,
                                                 int count, double* lStar, double* aStar, double* bStar)
{
    RgbRowToLabBody<FusedProducts>(linear, bgr, count, lStar, aStar, bStar);
}

void RgbRowToLabBaseline(const LinearLight& linear, const std::uint8_t* bgr, int count,
                         double* lStar, double* aStar, double* bStar)
{
    RgbRowToLabBody<SplitProducts>(linear, bgr, count, lStar, aStar, bStar);
}

// The chromaticity step applied to the companded samples. Grey, an all-zero sum and (unlike the
// plain step) a green of exactly zero, which would turn red and blue into not-a-number and so
// into a black sample, leave the samples as they are.
void NormalizeRgb(double& red, double& green, double& blue)
{
    if (red == green && green == blue) return;
    const double sum = red + green + blue;
    const double x = red / sum, y = green / sum, z = blue / sum;
    const double total = x + y + z;
    if (std::isnan(total) || total == 1.0 || y == 0) return;
    red = (x / y) * green;
    blue = ((1 - x - y) / y) * green;
}

// value × 255, truncated toward zero and clamped; not-a-number gives 0. For one sample or four.
template <class V>
QV_KERNEL auto QuantisedLevel(V value)
{
    const V w = value * 255.0;
    // Negative or not a number gives 0; (-1, 0) truncates to 0 as well.
    const V clamped = Pick(w >= Splat<V>(256.0), Splat<V>(255.0), Pick(w >= Splat<V>(0.0), w, Splat<V>(0.0)));
    return WholeBits(TruncateWhole(clamped));
}

std::uint8_t QuantiseSample(double value)
{
    return static_cast<std::uint8_t>(QuantisedLevel(value));
}

template <class V>
struct LinearRgb {
    V r, g, b;
};

// Bradford adaptation from D50 back to D65, then the sRGB matrix.
template <class V>
QV_KERNEL LinearRgb<V> ToLinearRgb(V x, V y, V z)
{
    const V x65 = 0.9555 * x - 0.0231 * y + 0.0633 * z;
    const V y65 = -0.0283 * x + 1.01 * y + 0.0211 * z;
    const V z65 = 0.0123 * x - 0.0206 * y + 1.3303 * z;
    return {3.241 * x65 - 1.5374 * y65 - 0.4986 * z65, -0.9692 * x65 + 1.876 * y65 + 0.0416 * z65,
            0.0556 * x65 - 0.204 * y65 + 1.057 * z65};
}

// The companding power's levels without the power. Above 0.00304 a linear sample v has the level
// of the exact W(v) = 255 × (1.055 × v^(1 / 2.4) - 0.055), truncated and clamped: 9 just above
// 0.00304, and k from the threshold s_k = ((k / 255 + 0.055) / 1.055)^2.4 on (k = 10 ... 255).
// The samples from 2^-9 to 1 fall into 128 buckets per octave by their exponent and first seven
// mantissa bits. Neighbouring thresholds lie at least 0.89 % apart, wider than a bucket, so at
// most one lies inside a bucket, and a bucket holds the level at its start, the threshold below
// that start and the two above it. A last bucket holds every sample from 1 on.
struct LevelBucket {
    double below, next, afterNext, level;
};

constexpr int bucketsPerOctave = 128;
constexpr int firstOctave = -9;  // 2^-9 lies below 0.00304
constexpr std::uint64_t lastBucket = -firstOctave * bucketsPerOctave;
using LevelTable = std::array<LevelBucket, lastBucket + 1>;

const LevelTable& LevelTableOnce()
{
    static const LevelTable table = [] {
        constexpr double beyond = std::numeric_limits<double>::infinity();
        std::array<double, 258> threshold{};
        for (int k = 10; k <= 255; ++k) threshold[k] = LinearLightPower((k / 255.0 + 0.055) / 1.055);
        threshold[256] = threshold[257] = beyond;
        LevelTable built{};
        int reached = 9;  // the level at the bucket's start
        for (std::uint64_t b = 0; b <= lastBucket; ++b) {
            const double start = b == lastBucket ? 1.0
                : std::ldexp(1.0 + static_cast<double>(b % bucketsPerOctave) / bucketsPerOctave,
                             firstOctave + static_cast<int>(b / bucketsPerOctave));
            while (threshold[reached + 1] <= start) ++reached;
            built[b] = {reached > 9 ? threshold[reached] : 0.00304, threshold[reached + 1], threshold[reached + 2],
                        static_cast<double>(reached)};
        }
        return built;
    }();
    return table;
}

// A sample's bucket: the last one for 1 and above, and for anything below 2^-9 or not positive
// (samples below the companding threshold do not use theirs).
QV_KERNEL std::uint64_t BucketIndex(std::uint64_t bits, std::uint64_t base)
{
    const std::uint64_t index = (bits >> 45) - base;
    return index > lastBucket ? lastBucket : index;
}
QV_KERNEL LaneBits BucketIndex(LaneBits bits, std::uint64_t base)
{
    const LaneBits index = (bits >> 45) - base;
    return index > lastBucket ? LaneBits{} + lastBucket : index;
}

template <class V>
struct Bucket {
    V below, next, afterNext, level;
};

template <class V>
QV_KERNEL Bucket<V> BucketOf(V v, const LevelTable& table)
{
    static_assert(sizeof(LevelBucket) == 4 * sizeof(double));
    V field[4];
    LookupRow(&table[0].below, BucketIndex(BitsOf(v), (1023 + firstOctave) * bucketsPerOctave), field);
    return {field[0], field[1], field[2], field[3]};
}

// The way back without the steps that move values only by rounding: the two chromaticity steps,
// mathematically the identity, are left out, pow(f, 3.0) becomes f * f * f, and the companding
// power is not taken at all, its level read from the thresholds. Within the bounds checked here a
// linear sample then differs from the step-by-step conversion's by far less than its margins:
// 1e-6 of a level from a whole level below the companding threshold 0.00304, a relative 1e-8
// (at least 1e-7 of a level) from the thresholds above it, 1e-9 from 0.00304 itself. Where every
// sample keeps them, both give the same bytes, and the levels come out; elsewhere (a few pixels
// in ten thousand: near black, extreme colours) the step-by-step conversion decides. For one
// pixel or four.
template <class V>
QV_KERNEL V ExpandQuickly(V f)
{
    return Pick(f > Splat<V>(0.206893), f * f * f, (f - sixteenOver116) * (1 / 7.787));
}

template <class V, class Levels>
QV_KERNEL auto QuickLabToRgb(bool correction, V lStar, V aStar, V bStar, const LevelTable& table, Levels levels[3])
{
    const V fy = (lStar + 16.0) * (1 / 116.0);
    const V fx = aStar * (1 / 500.0) + fy;
    const V fz = (-bStar) * (1 / 200.0) + fy;
    const V x = ExpandQuickly(fx) * whiteX, y = ExpandQuickly(fy) * whiteY;
    const V z = ExpandQuickly(fz) * whiteZ;
    // The chromaticity step divides by y and by the sum; keep both well away from 0.
    auto decided = Both(Both(lStar > Splat<V>(0.0), Both(y >= Splat<V>(1e-9), y <= Splat<V>(10.0))),
                        Both(Both(Magnitude(x) <= Splat<V>(10.0), Magnitude(z) <= Splat<V>(10.0)),
                             x + y + z >= Splat<V>(1e-9)));

    const LinearRgb<V> linear = ToLinearRgb(x, y, z);
    const V samples[3] = {linear.r, linear.g, linear.b};
    // Bounds of the companded samples, for the RGB step below: exact below 0.00304, within their
    // level above (at most 8 up to a linear 100).
    V lowSum = Splat<V>(0.0), highSum = Splat<V>(0.0), straightGreen{};
    for (int i = 0; i < 3; ++i) {
        const V v = samples[i];
        const auto powered = v > Splat<V>(0.00304);
        decided = Both(decided, Not(Either(Magnitude(v - 0.00304) < Splat<V>(1e-9), v > Splat<V>(100.0))));
        // Below the threshold: v × 12.92, away from whole levels; outside (-2, 258) both ways
        // clamp alike.
        const V straight = v * 12.92;
        const V w = straight * 255.0;
        const V fraction = (w + 2.0) - TruncateWhole(w + 2.0);
        const auto nearLevel = Both(Both(w > Splat<V>(-2.0), w < Splat<V>(258.0)),
                                    Either(fraction < Splat<V>(1e-6), fraction > Splat<V>(1 - 1e-6)));
        // Above it: the bucket's level, plus one from its threshold on, away from the thresholds.
        const Bucket<V> bucket = BucketOf(v, table);
        const auto reached = v >= bucket.next;
        const V level = Pick(reached, bucket.level + 1.0, bucket.level);
        const V lower = Pick(reached, bucket.next, bucket.below);
        const V upper = Pick(reached, bucket.afterNext, bucket.next);
        const auto nearThreshold = Either(v - lower <= 1e-8 * v, upper - v <= 1e-8 * v);
        decided = Both(decided, Not(Pick(powered, nearThreshold, nearLevel)));
        levels[i] = Pick(powered, WholeBits(level), QuantisedLevel(straight));
        lowSum = lowSum + Pick(powered, level * (1 / 255.0), straight);
        const V levelTop = Pick(level == Splat<V>(255.0), Splat<V>(8.0), (level + 1.0) * (1 / 255.0));
        highSum = highSum + Pick(powered, levelTop, straight);
        if (i == 1) straightGreen = Pick(powered, Splat<V>(1.0), straight);
    }
    // The RGB step divides by green and by the sum of the samples: no tiny divisors either.
    if (correction) {
        const auto tinyGreen = Both(straightGreen != Splat<V>(0.0), Magnitude(straightGreen) < Splat<V>(1e-100));
        const auto tinySum = Both(lowSum < Splat<V>(1e-9), highSum > Splat<V>(-1e-9));
        decided = Both(decided, Not(Either(tinyGreen, tinySum)));
    }
    return decided;
}

// The row loop of the way back: four pixels at a time, each one the quick way cannot decide the
// step-by-step way; the rest one by one.
QV_KERNEL void LabRowToRgbBody(bool correction, const double* lStar, const double* aStar,
                               const double* bStar, int count, std::uint8_t* bgr)
{
    const LevelTable& table = LevelTableOnce();
    int x = 0;
    for (; x + laneCount <= count; x += laneCount) {
        Lanes l, a, b;
        LaneBits levels[3];
        __builtin_memcpy(&l, lStar + x, sizeof l);
        __builtin_memcpy(&a, aStar + x, sizeof a);
        __builtin_memcpy(&b, bStar + x, sizeof b);
        const LaneMask decided = QuickLabToRgb(correction, l, a, b, table, levels);
        for (int k = 0; k < laneCount; ++k) {
            std::uint8_t* pixel = bgr + 3 * (x + k);
            if (decided[k]) {
                pixel[2] = static_cast<std::uint8_t>(levels[0][k]);
                pixel[1] = static_cast<std::uint8_t>(levels[1][k]);
                pixel[0] = static_cast<std::uint8_t>(levels[2][k]);
            } else {
                LabToRgbLiteral(correction, l[k], a[k], b[k], pixel[2], pixel[1], pixel[0]);
            }
        }
    }
    for (; x < count; ++x) {
        std::uint8_t* pixel = bgr + 3 * x;
        LabToRgb(correction, lStar[x], aStar[x], bStar[x], pixel[2], pixel[1], pixel[0]);
    }
}

[[gnu::target("avx2")]] void LabRowToRgbAvx2(bool correction, const double* lStar,
                                             const double* aStar, const double* bStar, int count,
                                             std::uint8_t* bgr)
{
    LabRowToRgbBody(correction, lStar, aStar, bStar, count, bgr);
}

void LabRowToRgbBaseline(bool correction, const double* lStar, const double* aStar,
                         const double* bStar, int count, std::uint8_t* bgr)
{
    LabRowToRgbBody(correction, lStar, aStar, bStar, count, bgr);
}

}  // namespace

void NormalizeChromaticity(double& x, double& y, double& z)
{
    const double sum = x + y + z;
    const double cx = x / sum, cy = y / sum, cz = z / sum;
    if (cx + cy + cz != 1.0) {
        x = (cx / cy) * y;
        z = ((1 - cx - cy) / cy) * y;
    }
}

bool RgbToLab(int toneMode, int red, int green, int blue, double& lStar, double& aStar, double& bStar)
{
    const LinearLight& linear = LinearLightFor(toneMode);
    LabOf<SplitProducts>(linear[red & 0xFF], linear[green & 0xFF], linear[blue & 0xFF], PowerKernelTables(), lStar,
                         aStar, bStar);
    return true;
}

void RgbRowToLab(bool wide, int toneMode, const std::uint8_t* bgr, int count,
                 double* lStar, double* aStar, double* bStar)
{
    if (wide)
        RgbRowToLabAvx2(LinearLightFor(toneMode), bgr, count, lStar, aStar, bStar);
    else
        RgbRowToLabBaseline(LinearLightFor(toneMode), bgr, count, lStar, aStar, bStar);
}

bool LabToRgb(bool rgbCorrection, double lStar, double aStar, double bStar,
              std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue)
{
    std::uint64_t levels[3];
    if (!QuickLabToRgb(rgbCorrection, lStar, aStar, bStar, LevelTableOnce(), levels))
        return LabToRgbLiteral(rgbCorrection, lStar, aStar, bStar, red, green, blue);
    red = static_cast<std::uint8_t>(levels[0]);
    green = static_cast<std::uint8_t>(levels[1]);
    blue = static_cast<std::uint8_t>(levels[2]);
    return true;
}

void LabRowToRgb(bool wide, bool rgbCorrection, const double* lStar, const double* aStar,
                 const double* bStar, int count, std::uint8_t* bgr)
{
    if (wide)
        LabRowToRgbAvx2(rgbCorrection, lStar, aStar, bStar, count, bgr);
    else
        LabRowToRgbBaseline(rgbCorrection, lStar, aStar, bStar, count, bgr);
}

bool LabToRgbLiteral(bool correction, double lStar, double aStar, double bStar,
                     std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue)
{
    red = green = blue = 0;
    if (!(lStar > 0)) return true;

    const double fy = (lStar + 16) / 116;
    const double fx = aStar / 500 + fy;
    const double fz = (-bStar) / 200 + fy;
    double x = ExpandFromLab(fx) * whiteX;
    double y = ExpandFromLab(fy) * whiteY;
    double z = ExpandFromLab(fz) * whiteZ;
    if (!(x + y + z > 0)) return true;
    NormalizeChromaticity(x, y, z);

    const LinearRgb<double> linear = ToLinearRgb(x, y, z);
    double r = CompandToRgb(linear.r);
    double g = CompandToRgb(linear.g);
    double b = CompandToRgb(linear.b);
    if (correction) NormalizeRgb(r, g, b);

    red = QuantiseSample(r);
    green = QuantiseSample(g);
    blue = QuantiseSample(b);
    return true;
}
