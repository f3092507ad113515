#include "engine/wide_loops.h"

#include <algorithm>
#include <atomic>

namespace {

std::atomic<LoopWidth> limit{LoopWidth::avx512};

LoopWidth Supported()
{
#if defined(__i386__) || defined(__x86_64__)
    // Asks CPUID, and the system (XGETBV) whether it saves the wide registers. Every processor with
    // AVX2 has fused multiply-add as well, but the colour conversion's AVX2 loop relies on it, so
    // both are asked for. The AVX-512 versions use its foundation, its eight-lane forms (VL) and
    // its byte, word, double and quad-word operations, which every processor with AVX-512 since
    // the first to run it in desktops has.
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") == 0 || __builtin_cpu_supports("fma") == 0) return LoopWidth::baseline;
    const bool avx512 = __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512vl") != 0 &&
                        __builtin_cpu_supports("avx512bw") != 0 && __builtin_cpu_supports("avx512dq") != 0;
    return avx512 ? LoopWidth::avx512 : LoopWidth::avx2;
#else
    return LoopWidth::baseline;
#endif
}

}  // namespace

LoopWidth SupportedLoops()
{
    static const LoopWidth supported = Supported();
    return supported;
}

LoopWidth LoopsInUse()
{
    return std::min(SupportedLoops(), limit.load(std::memory_order_relaxed));
}

bool WideLoopsOn()
{
    return LoopsInUse() >= LoopWidth::avx2;
}

void LimitLoops(LoopWidth widest)
{
    limit.store(widest, std::memory_order_relaxed);
}
