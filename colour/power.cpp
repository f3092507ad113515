#include "colour/power.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

namespace {

// A value carried as the unevaluated sum hi + lo, |lo| at most about an ulp of hi.
struct DoubleDouble {
    double hi, lo;
};

// a + b exactly as a rounded sum and its error.
DoubleDouble TwoSum(double a, double b)
{
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// A double as the sum of two halves of 26 bits or fewer, whose products are exact (Dekker's
// splitting: no fused multiply-add, which the 32-bit build lacks).
DoubleDouble Split(double a)
{
    const double t = 134217729.0 * a;  // 2^27 + 1
    const double high = t - (t - a);
    return {high, a - high};
}

// a × b exactly as a rounded product and its error, from the two factors' halves.
DoubleDouble TwoProduct(double a, DoubleDouble as, double b, DoubleDouble bs)
{
    const double p = a * b;
    return {p, ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo};
}

DoubleDouble TwoProduct(double a, double b)
{
    return TwoProduct(a, Split(a), b, Split(b));
}

DoubleDouble Multiply(DoubleDouble a, DoubleDouble b)
{
    const DoubleDouble p = TwoProduct(a.hi, b.hi);
    return TwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

// The square root of a double-double: the IEEE root of hi, then one Newton step on the exact
// residual.
DoubleDouble SquareRoot(DoubleDouble a)
{
    const double q = std::sqrt(a.hi);
    const DoubleDouble square = TwoProduct(q, q);
    const double residual = ((a.hi - square.hi) - square.lo) + a.lo;
    return TwoSum(q, residual / (2 * q));
}

// The mantissa [1, 2) is cut into 64 intervals by its first 6 bits; their centres anchor both the
// cube root and the logarithm.
constexpr int intervalBits = 6;
constexpr int intervals = 1 << intervalBits;

struct PowerTables {
    std::array<double, intervals> inverseCentre;
    std::array<double, intervals> logCentre;
    std::array<std::array<double, intervals>, 3> cubeRootCentre;  // of 2^r × centre, r = 0, 1, 2
};

// ln c for c in [1, 2] from the series of 2 artanh((c - 1) / (c + 1)); start-up only.
double SeriesLog(double c)
{
    const double z = (c - 1) / (c + 1), z2 = z * z;
    double sum = 0, power = z;
    for (int k = 0; k < 40; ++k, power *= z2) sum += power / (2 * k + 1);
    return 2 * sum;
}

// The cube root of c in [1, 8] to within an ulp or so by Newton's iteration; start-up only.
double SeriesCubeRoot(double c)
{
    double y = 1.5;
    for (int k = 0; k < 30; ++k) y -= (y * y * y - c) / (3 * y * y);
    return y;
}

const PowerTables& Tables()
{
    static const PowerTables tables = [] {
        PowerTables built{};
        for (int i = 0; i < intervals; ++i) {
            const double centre = 1 + (i + 0.5) / intervals;
            built.inverseCentre[i] = 1 / centre;
            built.logCentre[i] = SeriesLog(centre);
            for (int r = 0; r < 3; ++r) built.cubeRootCentre[r][i] = SeriesCubeRoot(centre * (1 << r));
        }
        return built;
    }();
    return tables;
}

// A normal v > 0 as 2^(3q + r) × m, m in [1, 2), with m's interval and m / centre - 1.
struct Reduced {
    int q, r, interval;
    double m, u;
};

Reduced Reduce(double v)
{
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
    const int exponent = static_cast<int>(bits >> 52) - 1023;
    Reduced reduced{};
    reduced.q = (exponent + 3 * 400) / 3 - 400;  // floor division for negative exponents too
    reduced.r = exponent - 3 * reduced.q;
    reduced.interval = static_cast<int>((bits >> (52 - intervalBits)) & (intervals - 1));
    reduced.m = std::bit_cast<double>((bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
    reduced.u = reduced.m * Tables().inverseCentre[reduced.interval] - 1;  // |u| <= 1/129
    return reduced;
}

double PowerOfTwo(int k)
{
    return std::bit_cast<double>(static_cast<std::uint64_t>(k + 1023) << 52);
}

// ln v within about 1e-15: the exponent's share, the centre's table entry and six terms of the
// series of ln(1 + u). The powers need it only for a correction near 2^-54 of the result.
double Log(const Reduced& v)
{
    constexpr double ln2 = 0.6931471805599453;
    const double u = v.u;
    const double series =
        u * (1 + u * (-1.0 / 2 + u * (1.0 / 3 + u * (-1.0 / 4 + u * (1.0 / 5 + u * (-1.0 / 6))))));
    return (3 * v.q + v.r) * ln2 + (Tables().logCentre[v.interval] + series);
}

// The cube root of 2^r × m as a double-double within about 2^-102: the centre's root times seven
// terms of the binomial series of (1 + u)^(1/3), good to a few ulps, then one Newton step whose
// residual 2^r × m - y^3 is computed exactly.
DoubleDouble CubeRootOfMantissa(const Reduced& v)
{
    const double u = v.u;
    const double series =
        1 + u * (1.0 / 3 + u * (-1.0 / 9 + u * (5.0 / 81 + u * (-10.0 / 243 +
            u * (22.0 / 729 + u * (-154.0 / 6561 + u * (374.0 / 19683)))))));
    const double y = Tables().cubeRootCentre[v.r][v.interval] * series;
    const double w = v.m * (1 << v.r);
    const DoubleDouble ys = Split(y);
    const DoubleDouble square = TwoProduct(y, ys, y, ys);
    const DoubleDouble cube = TwoProduct(square.hi, Split(square.hi), y, ys);
    // w - cube.hi is exact, both agreeing to within a few ulps; square.lo × y is needed only to
    // within its rounding, about 2^-106 of the cube.
    const double residual = ((w - cube.hi) - cube.lo) - square.lo * y;
    return {y, residual / (3 * square.hi)};
}

}  // namespace

// The exponent is 1/3 - 2^-54/3 exactly, so t^e = t^(1/3) × (1 - 2^-54/3 × ln t), the next term
// of the exponential being below 2^-100.
double CubeRootPower(double t)
{
    const Reduced v = Reduce(t);
    const DoubleDouble root = CubeRootOfMantissa(v);
    const double correction = -Log(v) * (0x1p-54 / 3);
    return (root.hi + (root.lo + root.hi * correction)) * PowerOfTwo(v.q);
}

double CubePower(double f)
{
    const DoubleDouble square = TwoProduct(f, f);
    const DoubleDouble cube = TwoProduct(square.hi, f);
    if (!std::isfinite(cube.hi)) return cube.hi;
    return cube.hi + (cube.lo + square.lo * f);
}

// The exponent is 5/12 + 2^-54/3 exactly, so v^e = (v^(1/3))^(5/4) × (1 + 2^-54/3 × ln v), with
// x^(5/4) = x × the square root of the square root of x.
double CompandPower(double v)
{
    if (v == INFINITY) return v;
    const Reduced reduced = Reduce(v);
    const double scale = PowerOfTwo(reduced.q);
    const DoubleDouble mantissaRoot = CubeRootOfMantissa(reduced);
    const DoubleDouble root = {mantissaRoot.hi * scale, mantissaRoot.lo * scale};
    const DoubleDouble power = Multiply(root, SquareRoot(SquareRoot(root)));
    const double correction = Log(reduced) * (0x1p-54 / 3);
    return power.hi + (power.lo + power.hi * correction);
}
