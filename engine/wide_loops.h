#pragma once

// Loops that gain from wider vector registers are built twice, for AVX2 and for the SSE2
// baseline, and the processor's own report picks one at start-up in every build: a plain test
// before the call, which PE executables can make as well as ELF ones. Both versions perform the
// same IEEE operations in the same order (no fused multiply-add: the build forbids contraction),
// so they give the same bits. The one exception is exact: the forward colour conversion's AVX2
// loop finds a product's rounding error by a fused multiply-add, which is exact, where the
// baseline splits the factors.

// True when the AVX2 versions run: the processor and the system support them, and the baseline
// has not been asked for.
bool WideLoopsOn();

// Runs the baseline versions even where AVX2 is available, so that tests and benchmarks can
// compare both.
void UseBaselineLoops(bool baseline);

// A loop's body, written once and inlined into both versions.
#define QV_LOOP_BODY [[gnu::always_inline]] inline

// QV_WIDE_LOOP(Name, (parameters), (arguments)) defines Name, which runs NameBody compiled for
// AVX2 or for the baseline.
#define QV_WIDE_LOOP(name, parameters, arguments)                                   \
    [[gnu::target("avx2")]] void name##Avx2 parameters { name##Body arguments; }  \
    void name##Baseline parameters { name##Body arguments; }                        \
    void name parameters                                                            \
    {                                                                               \
        if (WideLoopsOn())                                                          \
            name##Avx2 arguments;                                                   \
        else                                                                        \
            name##Baseline arguments;                                               \
    }
