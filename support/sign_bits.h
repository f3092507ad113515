#pragma once

// |x| and x with the sign of s, as the compiler's own operations on the sign bit. The 32-bit
// MinGW headers make fabs an x87 instruction in inline assembly and copysign a call into the
// runtime: both move every value out of the SSE registers and keep the loops that use them from
// being vectorised. The results are the same bits.
constexpr double Magnitude(double x) { return __builtin_fabs(x); }
constexpr double WithSignOf(double x, double s) { return __builtin_copysign(x, s); }
