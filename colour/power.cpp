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
            built.inverseCentre[i] = 1 / centre;
            built.logCentre[i] = SeriesLog(centre);
            for (int r = 0; r < 3; ++r)
                built.cubeRootCentre[r * powerIntervals + i] = SeriesCubeRoot(centre * (1 << r));
        }
        return built;
    }();
    return tables;
}

double CubeRootPower(double t)
{
    return CubeRootPowerOf(t, PowerKernelTables());
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
    const DoubleDouble<double> mantissaRoot = CubeRootOfMantissa(reduced, tables);
    const DoubleDouble<double> root = {mantissaRoot.hi * reduced.scale, mantissaRoot.lo * reduced.scale};
    const DoubleDouble<double> power = Multiply(root, SquareRoot(SquareRoot(root)));
    const double correction = LogOf(reduced, tables) * (0x1p-54 / 3);
    return power.hi + (power.lo + power.hi * correction);
}
