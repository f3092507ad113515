// Forward transform, shrinkage and inverse transform of the three planes of one picture.
// per_element is the wall-clock time per plane element (5.2n is 5.2 ns); "CPU" is the time of all
// threads. Arguments: plane side N, threads (0: one per processor).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>

#include "engine/classic/coefficient_plane.h"
#include "engine/classic/shrink.h"
#include "engine/classic/wavelet.h"
#include "engine/settings.h"

namespace {

// Three planes of noisy values in the range of the scaled colour channels, transformed once when
// the measured operation expects coefficients.
struct Picture {
    CoefficientPlane plane[3];
    CoefficientPlane original[3];
};

bool MakePicture(std::int32_t size, bool transformed, Picture& picture)
{
    for (int c = 0; c < 3; ++c) {
        if (!AllocatePlane(size, picture.plane[c]) || !AllocatePlane(size, picture.original[c])) return false;
        std::mt19937 random(7u + c);
        std::normal_distribution<double> value(0.0, 60.0);
        double* data = picture.plane[c].data.get();
        for (std::int64_t k = 0; k < std::int64_t{size} * size; ++k) data[k] = value(random);
        if (transformed && !ForwardTransform2D(0, picture.plane[c], size, LevelCount(size))) return false;
        std::memcpy(picture.original[c].data.get(), data, sizeof(double) * size * size);
    }
    return true;
}

void Restore(Picture& picture, std::int32_t size)
{
    for (int c = 0; c < 3; ++c)
        std::memcpy(picture.plane[c].data.get(), picture.original[c].data.get(), sizeof(double) * size * size);
}

void Report(benchmark::State& state, std::int32_t size)
{
    state.counters["per_element"] = benchmark::Counter(
        3.0 * size * size, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Times one operation on the three planes, which are put back as they were before every iteration.
template <class Operation>
void TimePlanes(benchmark::State& state, bool transformed, const Operation& operation)
{
    const auto size = static_cast<std::int32_t>(state.range(0));
    DenoiseSettings settings;
    settings.threads = static_cast<int>(state.range(1));
    Picture picture;
    if (!MakePicture(size, transformed, picture)) return state.SkipWithError("out of memory");
    for (auto _ : state) {
        state.PauseTiming();
        Restore(picture, size);
        state.ResumeTiming();
        operation(settings, picture.plane, size);
    }
    Report(state, size);
}

void BM_ForwardTransform(benchmark::State& state)
{
    TimePlanes(state, false, [](const DenoiseSettings& settings, CoefficientPlane (&planes)[3], std::int32_t size) {
        for (auto& plane : planes) ForwardTransform2D(settings.threads, plane, size, LevelCount(size));
    });
}

void BM_ShrinkCoefficients(benchmark::State& state)
{
    TimePlanes(state, true, [](const DenoiseSettings& settings, CoefficientPlane (&planes)[3], std::int32_t size) {
        ShrinkCoefficients(settings, planes[0], planes[1], planes[2], size, CoarseSize(size), size, size);
    });
}

void BM_InverseTransform(benchmark::State& state)
{
    TimePlanes(state, true, [](const DenoiseSettings& settings, CoefficientPlane (&planes)[3], std::int32_t size) {
        for (auto& plane : planes) InverseTransform2D(settings.threads, plane, size, LevelCount(size));
    });
}

void Sizes(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"N", "threads"})->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
    for (int size : {1024, 4096})
        for (int threads : {1, 0}) b->Args({size, threads});
}

}  // namespace

BENCHMARK(BM_ForwardTransform)->Apply(Sizes);
BENCHMARK(BM_ShrinkCoefficients)->Apply(Sizes);
BENCHMARK(BM_InverseTransform)->Apply(Sizes);

BENCHMARK_MAIN();
