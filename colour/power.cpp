#include "colour/power.h"

#include <cmath>

#include "colour/power_kernel.h"

namespace {

DoubleDouble<double> Multiply(DoubleDouble<double> a, DoubleDouble<double> b)
{
    const DoubleDouble<double> p = TwoProduct(a.hi, b.hi);
    return TwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

// The square root of a double-double: the IEEE root of hi, then one Newton step on the exact
// residual.
DoubleDouble<double> SquareRoot(DoubleDouble<double> a)
{
    const double q = std::sqrt(a.hi);
    const DoubleDouble<double> square = TwoProduct(q, q);
    const double residual = ((a.hi - square.hi) - square.lo) + a.lo;
    return TwoSum(q, residual / (2 * q));
}

DoubleDouble<double> Add(DoubleDouble<double> a, DoubleDouble<double> b)
{
    const DoubleDouble<double> s = TwoSum(a.hi, b.hi);
    return TwoSum(s.hi, s.lo + (a.lo + b.lo));
}

DoubleDouble<double> Divide(DoubleDouble<double> a, DoubleDouble<double> b)
{
    const double q = a.hi / b.hi;
    const DoubleDouble<double> p = TwoProduct(q, b.hi);
    const double residual = (((a.hi - p.hi) - p.lo) + a.lo) - q * b.lo;
    return TwoSum(q, residual / b.hi);
}

// Sine and cosine of x in [0, 1.6] from 25 terms of their series in double-double arithmetic,
// within about 2^-100.
struct SineCosine {
    DoubleDouble<double> sine, cosine;
};

SineCosine SineAndCosine(double x)
{
    const DoubleDouble<double> square = TwoProduct(x, x);
    DoubleDouble<double> sineTerm{x, 0}, cosineTerm{1, 0};
    SineCosine sum{sineTerm, cosineTerm};
    for (int k = 1; k <= 25; ++k) {
        const DoubleDouble<double> minusSquare{-square.hi, -square.lo};
        sineTerm = Divide(Multiply(sineTerm, minusSquare), {double(2 * k) * (2 * k + 1), 0});
        cosineTerm = Divide(Multiply(cosineTerm, minusSquare), {double(2 * k - 1) * (2 * k), 0});
        sum.sine = Add(sum.sine, sineTerm);
        sum.cosine = Add(sum.cosine, cosineTerm);
    }
    return sum;
}

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

}  // namespace

const PowerTables& PowerKernelTables()
{
    static const PowerTables tables = [] {
        PowerTables built{};
        for (int i = 0; i < powerIntervals; ++i) {
            const double centre = 1 + (i + 0.5) / powerIntervals;
            built.rows[i] = {1 / centre, SeriesLog(centre), SeriesCubeRoot(centre), 0};
        }
        return built;
    }();
    return tables;
}

double CubeRootPower(double t)
{
    return CubeRootPowerOf<SplitProducts>(t, PowerKernelTables());
}

double CubePower(double f)
{
    const DoubleDouble<double> square = TwoProduct(f, f);
    const DoubleDouble<double> cube = TwoProduct(square.hi, f);
    if (!std::isfinite(cube.hi)) return cube.hi;
    return cube.hi + (cube.lo + square.lo * f);
}

// The exponent is 5/12 + 2^-54/3 exactly, so v^e = (v^(1/3))^(5/4) × (1 + 2^-54/3 × ln v), with
// x^(5/4) = x × the square root of the square root of x.
double CompandPower(double v)
{
    if (v == INFINITY) return v;
    const PowerTables& tables = PowerKernelTables();
    const Reduced<double> reduced = Reduce(v, tables);
    const DoubleDouble<double> mantissaRoot = CubeRootOfMantissa<SplitProducts>(reduced);
    const DoubleDouble<double> root = {mantissaRoot.hi * reduced.scale, mantissaRoot.lo * reduced.scale};
    const DoubleDouble<double> power = Multiply(root, SquareRoot(SquareRoot(root)));
    const double correction = LogOf(reduced) * (0x1p-54 / 3);
    return power.hi + (power.lo + power.hi * correction);
}

double Sine(double x)
{
    return SineAndCosine(x).sine.hi;
}

double Tangent(double x)
{
    const SineCosine both = SineAndCosine(x);
    return Divide(both.sine, both.cosine).hi;
}

// The exponent is 12/5 - 2^-51/5 exactly, so v^e = v^2 × v^(2/5) × (1 - 2^-51/5 × ln v); v^(2/5)
// from Newton's iteration on y^5 = v^2, its last step on the exact residual.
double LinearLightPower(double v)
{
    const DoubleDouble<double> square = TwoProduct(v, v);
    double y = 1;
    for (int k = 0; k < 100; ++k) y -= (y * y * y * y * y - square.hi) / (5 * y * y * y * y);
    const DoubleDouble<double> y2 = TwoProduct(y, y);
    const DoubleDouble<double> y4 = Multiply(y2, y2);
    const DoubleDouble<double> y5 = Multiply(y4, {y, 0});
    const DoubleDouble<double> residual = Add(square, {-y5.hi, -y5.lo});
    const DoubleDouble<double> root = TwoSum(y, residual.hi / (5 * y4.hi));
    const DoubleDouble<double> power = Multiply(square, root);
    const PowerTables& tables = PowerKernelTables();
    const double correction = -LogOf(Reduce(v, tables)) * (0x1p-51 / 5);
    return power.hi + (power.lo + power.hi * correction);
}
