#pragma once

// Marks a function whose loops gain from wider vector registers. On 64-bit Linux it is compiled
// twice, for AVX2 and for the SSE2 baseline, and the loader picks the version the processor runs.
// Both versions perform the same IEEE operations in the same order (no fused multiply-add: the
// build forbids contraction), so they give the same bits. Elsewhere (the 32-bit Windows program)
// the baseline alone is built.
#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__)
#define QV_WIDE_LOOPS [[gnu::target_clones("avx2", "default")]]
#else
#define QV_WIDE_LOOPS
#endif
