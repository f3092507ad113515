#pragma once
#include <bit>
#include <cstdint>

#include "support/sign_bits.h"

// Four doubles processed together, written with the compiler's vector extensions: the AVX2 build
// of a loop holds them in one register, the baseline in two SSE2 registers. Kernels are templates
// over the lane type, double or Lanes, so the single-value and the four-value versions perform
// the very same operations and give the same bits.
using Lanes = double __attribute__((vector_size(32)));
using LaneBits = std::uint64_t __attribute__((vector_size(32)));
using LaneMask = std::int64_t __attribute__((vector_size(32)));  // all ones where true
constexpr int laneCount = 4;

// Kernels are inlined into each loop that calls them, so that a loop built for AVX2 runs them
// with AVX2 too, and so that lanes never pass through a call, where AVX2 and baseline code would
// hand them over differently.
#define QV_KERNEL [[gnu::always_inline]] inline

QV_KERNEL std::uint64_t BitsOf(double v) { return std::bit_cast<std::uint64_t>(v); }
QV_KERNEL LaneBits BitsOf(Lanes v) { return (LaneBits)v; }
QV_KERNEL double FromBits(std::uint64_t b) { return std::bit_cast<double>(b); }
QV_KERNEL Lanes FromBits(LaneBits b) { return (Lanes)b; }

template <class V> V Splat(double c);
template <> QV_KERNEL double Splat<double>(double c) { return c; }
template <> QV_KERNEL Lanes Splat<Lanes>(double c) { return Lanes{c, c, c, c}; }

QV_KERNEL double Lookup(const double* table, std::uint64_t index) { return table[index]; }
QV_KERNEL Lanes Lookup(const double* table, LaneBits index)
{
    return Lanes{table[index[0]], table[index[1]], table[index[2]], table[index[3]]};
}

QV_KERNEL bool Not(bool m) { return !m; }
QV_KERNEL LaneMask Not(LaneMask m) { return ~m; }
QV_KERNEL bool Both(bool a, bool b) { return a && b; }
QV_KERNEL LaneMask Both(LaneMask a, LaneMask b) { return a & b; }
QV_KERNEL bool Either(bool a, bool b) { return a || b; }
QV_KERNEL LaneMask Either(LaneMask a, LaneMask b) { return a | b; }

QV_KERNEL double Pick(bool m, double yes, double no) { return m ? yes : no; }
QV_KERNEL Lanes Pick(LaneMask m, Lanes yes, Lanes no) { return m ? yes : no; }
QV_KERNEL bool Pick(bool m, bool yes, bool no) { return m ? yes : no; }
QV_KERNEL LaneMask Pick(LaneMask m, LaneMask yes, LaneMask no) { return m ? yes : no; }
QV_KERNEL std::uint64_t Pick(bool m, std::uint64_t yes, std::uint64_t no) { return m ? yes : no; }
QV_KERNEL LaneBits Pick(LaneMask m, LaneBits yes, LaneBits no) { return m ? yes : no; }

// The whole number w (0 <= w < 2^51) held in a double, as an integer: adding 2^52 puts it in the
// low bits of the significand.
QV_KERNEL std::uint64_t WholeBits(double w) { return BitsOf(w + 4503599627370496.0) & 0xFFFFFFFFFFFFFull; }
QV_KERNEL LaneBits WholeBits(Lanes w) { return BitsOf(w + 4503599627370496.0) & 0xFFFFFFFFFFFFFull; }

// x rounded toward zero, for 0 <= x < 2^52: the nearest whole number, stepped down if it went up.
template <class V>
QV_KERNEL V TruncateWhole(V x)
{
    const V nearest = (x + 4503599627370496.0) - 4503599627370496.0;
    return Pick(nearest > x, nearest - 1.0, nearest);
}

QV_KERNEL Lanes Magnitude(Lanes v) { return FromBits(BitsOf(v) & 0x7FFFFFFFFFFFFFFFull); }
