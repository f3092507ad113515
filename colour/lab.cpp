#include "colour/lab.h"

#include <array>
#include <bit>
#include <cmath>

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

// Tables for ApproximateCompandPower: for 128 mantissa intervals the reciprocal and base-2
// logarithm of their centre, and 2^(j / 64) for j = 0 ... 63. Any sound mathematical library
// gives them well within what that function promises.
struct CompandTables {
    std::array<double, 128> inverseCentre, log2Centre;
    std::array<double, 64> exp2Step;
};

const CompandTables& CompandTablesOnce()
{
    static const CompandTables tables = [] {
        CompandTables built{};
        for (int i = 0; i < 128; ++i) {
            const double centre = 1 + (i + 0.5) / 128;
            built.inverseCentre[i] = 1 / centre;
            built.log2Centre[i] = std::log2(centre);
        }
        for (int j = 0; j < 64; ++j) built.exp2Step[j] = std::exp2(j / 64.0);
        return built;
    }();
    return tables;
}

// v^(1 / 2.4) for v in [0.003, 100] within a relative 1e-10: log2 v from the exponent, a table of
// 128 mantissa intervals and three terms of the series of log2(1 + u), |u| <= 1/256, which leave
// out less than 6e-11; then 2^y from a table of 64 steps and four terms of the exponential series,
// |r| <= ln 2 / 128, which leave out less than 4e-11 (3.6e-11 at worst in forty million values
// against the correctly rounded power). Only the quick way back uses it, whose margins are thirty
// times wider: no more terms than they need, as this is most of the way back's work.
template <class V>
QV_KERNEL V ApproximateCompandPower(V v, const CompandTables& t)
{
    constexpr double ln2 = 0.6931471805599453;
    constexpr double twoTo52 = 4503599627370496.0;
    const auto bits = BitsOf(v);
    const V exponent = (FromBits((bits >> 52) | BitsOf(twoTo52)) - twoTo52) - 1023.0;
    const auto interval = (bits >> 45) & std::uint64_t{127};
    const V mantissa = FromBits((bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
    const V u = mantissa * Lookup(t.inverseCentre.data(), interval) - 1.0;
    const V log1p = u * (1.0 + u * (-1.0 / 2 + u * (1.0 / 3)));
    const V y = (exponent + Lookup(t.log2Centre.data(), interval) + log1p * (1 / ln2)) * (1 / 2.4);
    const V step = TruncateWhole(y * 64.0 + 4096.5);  // the nearest step k, plus 4096; y > -64
    const V r = (y - (step - 4096.0) / 64.0) * ln2;
    const V e = 1.0 + r * (1.0 + r * (1.0 / 2 + r * (1.0 / 6)));
    const auto k = WholeBits(step);
    const V whole = FromBits(((k >> 6) + std::uint64_t{1023 - 64}) << 52);
    return whole * Lookup(t.exp2Step.data(), k & std::uint64_t{63}) * e;
}

// The way back without the steps that move values only by rounding: the two chromaticity steps,
// mathematically the identity, are left out, pow(f, 3.0) becomes f * f * f and the companding
// power comes from ApproximateCompandPower. Within the bounds checked here a sample below 258
// levels then differs from the step-by-step conversion by less than 3e-8 of a level, so wherever
// every sample lies more than 1e-6 of a level away from a whole level (where truncation would
// tell them apart) and away from the companding threshold, both give the same bytes. Elsewhere (about one pixel in a hundred thousand, near black, extreme colours) it is
// false, and the step-by-step conversion decides. For one pixel or four.
// pow(f, 3.0) as f * f * f, which the margins below allow.
template <class V>
QV_KERNEL V ExpandQuickly(V f)
{
    return Pick(f > Splat<V>(0.206893), f * f * f, (f - sixteenOver116) * (1 / 7.787));
}

template <class V>
QV_KERNEL auto QuickLabToRgb(bool correction, V lStar, V aStar, V bStar, const CompandTables& t,
                             V companded[3])
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
    for (int i = 0; i < 3; ++i) {
        const V v = samples[i];
        decided = Both(decided, Not(Either(Magnitude(v - 0.00304) < Splat<V>(1e-9), v > Splat<V>(100.0))));
        companded[i] = Pick(v > Splat<V>(0.00304), ApproximateCompandPower(v, t) * 1.055 - 0.055, v * 12.92);
    }
    // The RGB step divides by green and by the sum of the samples: no tiny divisors either.
    if (correction) {
        const V green = companded[1], sum = companded[0] + companded[1] + companded[2];
        const auto tiny = Either(Both(green != Splat<V>(0.0), Magnitude(green) < Splat<V>(1e-100)),
                                 Both(sum != Splat<V>(0.0), Magnitude(sum) < Splat<V>(1e-100)));
        decided = Both(decided, Not(tiny));
    }
    for (int i = 0; i < 3; ++i) {
        const V w = companded[i] * 255.0;
        // Outside (-2, 258) both ways clamp alike.
        const auto inside = Both(w > Splat<V>(-2.0), w < Splat<V>(258.0));
        const V fraction = (w + 2.0) - TruncateWhole(w + 2.0);
        const auto nearLevel = Either(fraction < Splat<V>(1e-6), fraction > Splat<V>(1 - 1e-6));
        decided = Both(decided, Not(Both(inside, nearLevel)));
    }
    return decided;
}

// The row loop of the way back: four pixels at a time, each one the quick way cannot decide the
// step-by-step way; the rest one by one.
QV_KERNEL void LabRowToRgbBody(bool correction, const double* lStar, const double* aStar,
                               const double* bStar, int count, std::uint8_t* bgr)
{
    const CompandTables& tables = CompandTablesOnce();
    int x = 0;
    for (; x + laneCount <= count; x += laneCount) {
        Lanes l, a, b, companded[3];
        __builtin_memcpy(&l, lStar + x, sizeof l);
        __builtin_memcpy(&a, aStar + x, sizeof a);
        __builtin_memcpy(&b, bStar + x, sizeof b);
        const LaneMask decided = QuickLabToRgb(correction, l, a, b, tables, companded);
        const LaneBits red = QuantisedLevel(companded[0]), green = QuantisedLevel(companded[1]),
                       blue = QuantisedLevel(companded[2]);
        for (int k = 0; k < laneCount; ++k) {
            std::uint8_t* pixel = bgr + 3 * (x + k);
            if (decided[k]) {
                pixel[2] = static_cast<std::uint8_t>(red[k]);
                pixel[1] = static_cast<std::uint8_t>(green[k]);
                pixel[0] = static_cast<std::uint8_t>(blue[k]);
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
    double companded[3];
    if (!QuickLabToRgb(rgbCorrection, lStar, aStar, bStar, CompandTablesOnce(), companded))
        return LabToRgbLiteral(rgbCorrection, lStar, aStar, bStar, red, green, blue);
    red = QuantiseSample(companded[0]);
    green = QuantiseSample(companded[1]);
    blue = QuantiseSample(companded[2]);
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
