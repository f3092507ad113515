#pragma once

// The powers the colour conversions take for every pixel, computed from IEEE additions,
// multiplications, divisions and square roots alone, in a fixed order, so every build gives the
// same bits whatever mathematical library its platform has. Each carries the exact power to about
// 2^-100 of its value and rounds once, so it gives the correctly rounded result unless the exact
// power lies within that distance of a halfway point between two doubles.

// t^0.3333333333333333, the exponent exactly as the double nearest a third, for a normal t > 0.
double CubeRootPower(double t);

// f^3, for any finite f whose cube is neither below 2^-969 nor, in magnitude, subnormal; larger
// cubes give infinity.
double CubePower(double f);

// v^0.4166666666666667, the exponent exactly as the double nearest five twelfths, for a normal
// v > 0 or +infinity.
double CompandPower(double v);

// The tone curves' functions, for tables computed once at start-up: sine and tangent of an x in
// [0, 1.6], and v^2.4, the exponent exactly as the double nearest 2.4, for v in (0, 1].
double Sine(double x);
double Tangent(double x);
double LinearLightPower(double v);
