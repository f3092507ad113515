#pragma once

// Eight floats processed together, written with the compiler's vector extensions: a loop built for
// AVX2 or AVX-512 holds them in one register, the baseline in two SSE2 registers; either way each
// lane goes through the same IEEE operations. Only inside always-inlined loop bodies, so that the
// values never pass through a call between versions built for different processors.
using EightFloats = float __attribute__((vector_size(32)));

[[gnu::always_inline]] inline EightFloats LoadEight(const float* from)
{
    EightFloats v;
    __builtin_memcpy(&v, from, sizeof v);
    return v;
}

[[gnu::always_inline]] inline void StoreEight(float* to, EightFloats v)
{
    __builtin_memcpy(to, &v, sizeof v);
}

[[gnu::always_inline]] inline EightFloats SplatEight(float c)
{
    return EightFloats{c, c, c, c, c, c, c, c};
}
