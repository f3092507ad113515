#pragma once

// The engine's own square root: a Newton iteration whose exact result (sometimes one unit in the
// last place away from the correctly rounded root) is part of the engine's reproducible output.
// Returns x unchanged when it is not positive or not a number, and +infinity for +infinity.
double NewtonSqrt(double x);
