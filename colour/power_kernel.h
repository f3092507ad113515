#pragma once
#include <array>
#include <cstdint>
#include <immintrin.h>  // declares the fused multiply-add builtins for the AVX2 loops

#include "colour/lanes.h"

// The kernels behind colour/power.h as templates over the lane type (double or Lanes), for the
// conversions' row loops; see there for what they compute and how exactly.

// A value carried as the unevaluated sum hi + lo, |lo| at most about an ulp of hi.
template <class V>
struct DoubleDouble {
    V hi, lo;
};

template <class V>
QV_KERNEL DoubleDouble<V> TwoSum(V a, V b)
{
    const V s = a + b;
    const V bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// A double as the sum of two halves of 26 bits or fewer, whose products are exact (Dekker's
// splitting: no fused multiply-add, which the 32-bit build lacks).
template <class V>
QV_KERNEL DoubleDouble<V> Split(V a)
{
    const V t = 134217729.0 * a;  // 2^27 + 1
    const V high = t - (t - a);
    return {high, a - high};
}

// a × b exactly as a rounded product and its error, from the two factors' halves.
template <class V>
QV_KERNEL DoubleDouble<V> TwoProduct(V a, V b)
{
    const DoubleDouble<V> as = Split(a), bs = Split(b);
    const V p = a * b;
    return {p, ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo};
}

// Two ways to the exact product, which give the same bits: Dekker's splitting, which every
// processor can run, and a fused multiply-add, which finds the error in one step. Only the AVX2
// loops use the second; the processors that run them have it.
struct SplitProducts {
    template <class V>
    QV_KERNEL static DoubleDouble<V> Exact(V a, V b) { return TwoProduct(a, b); }
};

struct FusedProducts {
    QV_KERNEL static DoubleDouble<double> Exact(double a, double b)
    {
        const double p = a * b;
        return {p, __builtin_fma(a, b, -p)};
    }
    QV_KERNEL static DoubleDouble<Lanes> Exact(Lanes a, Lanes b)
    {
        const Lanes p = a * b;
#if defined(__clang__)
        // Clang takes the vector builtin only in functions built for FMA throughout; its builds
        // (the fuzzers) use the library's exact fma, lane by lane.
        return {p, Lanes{__builtin_fma(a[0], b[0], -p[0]), __builtin_fma(a[1], b[1], -p[1]),
                         __builtin_fma(a[2], b[2], -p[2]), __builtin_fma(a[3], b[3], -p[3])}};
#else
        return {p, __builtin_ia32_vfmaddpd256(a, b, -p)};
#endif
    }
};

// The mantissa [1, 2) is cut into 64 intervals by its first 6 bits; their centres anchor both the
// cube root and the logarithm.
constexpr int powerIntervalBits = 6;
constexpr int powerIntervals = 1 << powerIntervalBits;

// Row i for the interval i's centre c: 1 / c, ln c and the cube root of c, read at once.
struct alignas(32) PowerRow {
    double inverseCentre, logCentre, cubeRootCentre, unused;
};

struct PowerTables {
    std::array<PowerRow, powerIntervals> rows;
};

const PowerTables& PowerKernelTables();

// A normal v > 0 as 2^(3q + r) × m, m in [1, 2): the exponent e = 3q + r, 2^q, 2^r, u = m / centre
// - 1, |u| <= 1/129, with the centre of m's interval, ln centre and the cube root of 2^r × centre.
// Whole numbers are computed as doubles, which every lane type can hold.
template <class V>
struct Reduced {
    V exponent, scale, m, u;
    V twoToR, logCentre, cubeRootCentre;
};

template <class V>
QV_KERNEL Reduced<V> Reduce(V v, const PowerTables& tables)
{
    constexpr double twoTo52 = 4503599627370496.0;
    const auto bits = BitsOf(v);
    Reduced<V> reduced;
    const V biased = FromBits((bits >> 52) | BitsOf(twoTo52)) - twoTo52;
    reduced.exponent = biased - 1023.0;
    // q + 400 = floor((e + 1200) / 3), found as the nearest whole number to (e + 1199) / 3, which
    // is never halfway: a third away at least, so a product with 1/3 rounded finds it as well as
    // the quotient, without a division.
    const V q400 = ((biased + 176.0) * (1.0 / 3) + twoTo52) - twoTo52;
    const auto r = WholeBits((biased + 177.0) - 3.0 * q400);
    reduced.scale = FromBits((WholeBits(q400) + std::uint64_t{1023 - 400}) << 52);
    reduced.twoToR = FromBits((r + std::uint64_t{1023}) << 52);
    const auto interval = (bits >> (52 - powerIntervalBits)) & std::uint64_t{powerIntervals - 1};
    V row[4];
    static_assert(sizeof(PowerRow) == 4 * sizeof(double));
    LookupRow(&tables.rows[0].inverseCentre, interval, row);
    reduced.logCentre = row[1];
    // The cube root of 2^r × c within an ulp or two, which the Newton step below makes good.
    const V rootOfTwoToR = Pick(r == std::uint64_t{0}, Splat<V>(1.0),
                                Pick(r == std::uint64_t{1}, Splat<V>(1.2599210498948732),  // 2^(1/3)
                                     Splat<V>(1.5874010519681994)));                        // 4^(1/3)
    reduced.cubeRootCentre = row[2] * rootOfTwoToR;
    reduced.m = FromBits((bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
    reduced.u = reduced.m * row[0] - 1.0;
    return reduced;
}

// ln v within about 1e-15: the exponent's share, the centre's table entry and six terms of the
// series of ln(1 + u). The powers need it only for a correction near 2^-54 of the result.
template <class V>
QV_KERNEL V LogOf(const Reduced<V>& v)
{
    constexpr double ln2 = 0.6931471805599453;
    const V u = v.u;
    const V series =
        u * (1.0 + u * (-1.0 / 2 + u * (1.0 / 3 + u * (-1.0 / 4 + u * (1.0 / 5 + u * (-1.0 / 6))))));
    return v.exponent * ln2 + (v.logCentre + series);
}

// The cube root of 2^r × m as a double-double within about 2^-100: the root of 2^r × centre times
// seven terms of the binomial series of (1 + u)^(1/3), good to a few ulps, then one Newton step
// whose residual 2^r × m - y^3 is computed exactly but for its last term.
template <class Products, class V>
QV_KERNEL DoubleDouble<V> CubeRootOfMantissa(const Reduced<V>& v)
{
    const V u = v.u;
    const V series =
        1.0 + u * (1.0 / 3 + u * (-1.0 / 9 + u * (5.0 / 81 + u * (-10.0 / 243 +
            u * (22.0 / 729 + u * (-154.0 / 6561 + u * (374.0 / 19683)))))));
    const V y = v.cubeRootCentre * series;
    const V w = v.m * v.twoToR;
    const DoubleDouble<V> square = Products::Exact(y, y);
    const DoubleDouble<V> cube = Products::Exact(square.hi, y);
    // w - cube.hi is exact, both agreeing to within a few ulps; square.lo × y is needed only to
    // within its rounding, about 2^-106 of the cube.
    const V residual = ((w - cube.hi) - cube.lo) - square.lo * y;
    return {y, residual / (3.0 * square.hi)};
}

// t^0.3333333333333333 for a normal t > 0. The exponent is 1/3 - 2^-54/3 exactly, so
// t^e = t^(1/3) × (1 - 2^-54/3 × ln t), the next term of the exponential being below 2^-100.
template <class Products, class V>
QV_KERNEL V CubeRootPowerOf(V t, const PowerTables& tables)
{
    const Reduced<V> v = Reduce(t, tables);
    const DoubleDouble<V> root = CubeRootOfMantissa<Products>(v);
    const V correction = -LogOf(v) * (0x1p-54 / 3);
    return (root.hi + (root.lo + root.hi * correction)) * v.scale;
}
