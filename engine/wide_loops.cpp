#include "engine/wide_loops.h"

#include <atomic>

namespace {

std::atomic<bool> baselineAsked{false};

bool Avx2Supported()
{
#if defined(__i386__) || defined(__x86_64__)
    // Asks CPUID, and the system (XGETBV) whether it saves the wide registers. Every processor with
    // AVX2 has fused multiply-add as well, but the colour conversion's AVX2 loop relies on it, so
    // both are asked for.
    static const bool supported = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("fma") != 0;
    }();
    return supported;
#else
    return false;
#endif
}

}  // namespace

bool WideLoopsOn()
{
    return Avx2Supported() && !baselineAsked.load(std::memory_order_relaxed);
}

void UseBaselineLoops(bool baseline)
{
    baselineAsked.store(baseline, std::memory_order_relaxed);
}
