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

// The four fields of row index of a table of four-double rows; for four lanes, each lane's row is
// read whole and the four are transposed, so field j holds the lanes' field j.
QV_KERNEL void LookupRow(const double* table, std::uint64_t index, double (&field)[4])
{
    for (int j = 0; j < 4; ++j) field[j] = table[4 * index + j];
}
QV_KERNEL void LookupRow(const double* table, LaneBits index, Lanes (&field)[4])
{
    // Written out row by row: a loop over an array of rows goes through the stack.
    Lanes row0, row1, row2, row3;
    __builtin_memcpy(&row0, table + 4 * index[0], sizeof row0);
    __builtin_memcpy(&row1, table + 4 * index[1], sizeof row1);
    __builtin_memcpy(&row2, table + 4 * index[2], sizeof row2);
    __builtin_memcpy(&row3, table + 4 * index[3], sizeof row3);
    const Lanes low01 = __builtin_shufflevector(row0, row1, 0, 4, 2, 6);
    const Lanes high01 = __builtin_shufflevector(row0, row1, 1, 5, 3, 7);
    const Lanes low23 = __builtin_shufflevector(row2, row3, 0, 4, 2, 6);
    const Lanes high23 = __builtin_shufflevector(row2, row3, 1, 5, 3, 7);
    field[0] = __builtin_shufflevector(low01, low23, 0, 1, 4, 5);
    field[1] = __builtin_shufflevector(high01, high23, 0, 1, 4, 5);
    field[2] = __builtin_shufflevector(low01, low23, 2, 3, 6, 7);
    field[3] = __builtin_shufflevector(high01, high23, 2, 3, 6, 7);
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
