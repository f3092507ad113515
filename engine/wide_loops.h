#pragma once

// Loops that gain from wider vector registers are built three times, for AVX-512, AVX2 and the
// SSE2 baseline, and the processor's own report picks one at start-up in every build: a plain test
// before the call, which PE executables can make as well as ELF ones. The AVX-512 version is the
// AVX2 code given that extension's encodings: the same eight-lane vectors (it is asked to prefer
// them to wider ones), but 32 registers instead of 16, so the larger kernels keep their sums in
// registers. All versions perform the same IEEE operations in the same order (no fused
// multiply-add: the build forbids contraction), so they give the same bits. The one exception is
// exact: the forward colour conversion's AVX2 loop finds a product's rounding error by a fused
// multiply-add, which is exact, where the baseline splits the factors.

// The versions of such loops, narrowest first.
enum class LoopWidth { baseline, avx2, avx512 };

// The widest version the processor and the system support.
LoopWidth SupportedLoops();

// The version that runs: the widest supported, unless LimitLoops asked for a narrower one.
LoopWidth LoopsInUse();

// True when at least the AVX2 versions run.
bool WideLoopsOn();

// Runs versions no wider than widest even where wider ones are supported, so that tests and
// benchmarks can compare them; LoopWidth::avx512 lifts the limit.
void LimitLoops(LoopWidth widest);

// A loop's body, written once and inlined into every version.
#define QV_LOOP_BODY [[gnu::always_inline]] inline

// The versions' targets, for loops whose versions differ in more than their target.
#define QV_AVX512_TARGET [[gnu::target("avx2,avx512f,avx512vl,avx512bw,avx512dq,prefer-vector-width=256")]]
#define QV_AVX2_TARGET [[gnu::target("avx2")]]

// QV_WIDE_DISPATCH(Name, (parameters), (arguments)) defines Name, which runs NameAvx512, NameAvx2
// or NameBaseline, as LoopsInUse says.
#define QV_WIDE_DISPATCH(name, parameters, arguments)                    \
    void name parameters                                                 \
    {                                                                    \
        switch (LoopsInUse()) {                                          \
            case LoopWidth::avx512: name##Avx512 arguments; break;       \
            case LoopWidth::avx2: name##Avx2 arguments; break;           \
            default: name##Baseline arguments; break;                    \
        }                                                                \
    }

// QV_WIDE_LOOP(Name, (parameters), (arguments)) defines Name, which runs NameBody compiled for
// AVX-512, AVX2 or the baseline.
#define QV_WIDE_LOOP(name, parameters, arguments)                                  \
    QV_AVX512_TARGET void name##Avx512 parameters { name##Body arguments; }      \
    QV_AVX2_TARGET void name##Avx2 parameters { name##Body arguments; }          \
    void name##Baseline parameters { name##Body arguments; }                       \
    QV_WIDE_DISPATCH(name, parameters, arguments)
