#include "engine/newton_sqrt.h"

#include <limits>

double NewtonSqrt(double x)
{
    if (!(x > 0.0)) return x;
    // The iteration would turn infinity into a NaN (infinity / infinity).
    if (x == std::numeric_limits<double>::infinity()) return x;
    double t = x > 1.0 ? x : 1.0;
    double p;
    do {
        p = t;
        t = ((x / p) + p) / 2.0;
    } while (t < p);
    return t;
}
