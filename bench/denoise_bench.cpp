// The whole denoise run (conversion, transform, shrinkage, inverse, conversion back, measurement)
// with default settings on noisy pictures of three sizes, and the adaptive denoiser's run (noise
// measurement, tiles) on the same pictures. "CPU" is the time of all threads, which on a busy
// machine tells more than the wall clock.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "engine/denoise.h"
#include "imagefile/image.h"

namespace {

// Smooth gradients with uniform noise of +-16 levels, the same on every run.
void FillNoisyPicture(Image& image)
{
    const std::int32_t width = image.header->biWidth, height = image.header->biHeight;
    std::uint32_t state = 2024;
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                state = state * 1664525u + 1013904223u;
                const int v = static_cast<int>((std::int64_t{x} * 200 / width + y * (c + 1) * 30 / height) % 256) +
                              static_cast<int>(state >> 27) - 16;
                image.rows[y][3 * x + c] = static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
}

// Times one method on a noisy picture of the benchmark's size; run denoises it with the thread count
// given and says whether it could.
template <typename Run>
void TimeDenoising(benchmark::State& state, Run run)
{
    const auto width = static_cast<std::int32_t>(state.range(0));
    const auto height = static_cast<std::int32_t>(state.range(1));
    const auto threads = static_cast<int>(state.range(2));
    Image image;
    if (!AllocateImage(width, height, image)) {
        state.SkipWithError("picture not allocated");
        return;
    }
    FillNoisyPicture(image);
    for (auto _ : state) {
        if (!run(image, threads)) {
            state.SkipWithError("working memory not allocated");
            break;
        }
        benchmark::DoNotOptimize(image.bits);
    }
    const double megapixels = double(width) * height / 1e6;
    state.counters["MP/s"] = benchmark::Counter(megapixels, benchmark::Counter::kIsIterationInvariantRate);
    ReleaseImage(image);
}

void DenoisePicture(benchmark::State& state)
{
    TimeDenoising(state, [](Image& image, int threads) {
        DenoiseSettings settings;
        settings.threads = threads;
        return DenoiseImage(settings, {}, image.header, image.bits, image.rows.get()).done;
    });
}

void FineDenoisePicture(benchmark::State& state)
{
    TimeDenoising(state, [](Image& image, int threads) {
        DenoiseSettings settings;
        settings.method = Method::Fine;
        settings.threads = threads;
        return DenoiseImage(settings, {}, image.header, image.bits, image.rows.get()).done;
    });
}

// The desktop program's preview: the adaptive method on a 128 x 128 crop in the middle of a
// picture of the benchmark's size, with the noise an earlier run measured handed in, as the
// preview dialog does after its first preview.
void FineDenoiseCrop(benchmark::State& state)
{
    const auto width = static_cast<std::int32_t>(state.range(0));
    const auto height = static_cast<std::int32_t>(state.range(1));
    Image image, crop;
    if (!AllocateImage(width, height, image) || !AllocateImage(128, 128, crop)) {
        state.SkipWithError("picture not allocated");
        return;
    }
    FillNoisyPicture(image);
    DenoiseSettings settings;
    settings.method = Method::Fine;
    settings.threads = static_cast<int>(state.range(2));
    const PictureArea area{width / 2 - 64, height / 2 - 64, 128, 128};
    for (int y = 0; y < 128; ++y)
        for (int i = 0; i < 3 * 128; ++i) crop.rows[y][i] = image.rows[area.top + y][3 * area.left + i];
    settings.noise = DenoiseCrop(settings, image.header, image.rows.get(), area, crop).noise;
    for (auto _ : state) {
        if (!DenoiseCrop(settings, image.header, image.rows.get(), area, crop).done) {
            state.SkipWithError("working memory not allocated");
            break;
        }
        benchmark::DoNotOptimize(crop.bits);
    }
    ReleaseImage(crop);
    ReleaseImage(image);
}

// Arguments: width, height, threads (1, or 0 for one per processor).
void SizesAndThreads(benchmark::internal::Benchmark* benchmark)
{
    benchmark->ArgNames({"width", "height", "threads"})
        ->ArgsProduct({{640}, {480}, {1, 0}})
        ->ArgsProduct({{1600}, {1200}, {1, 0}})
        ->ArgsProduct({{4000}, {3000}, {1, 0}})
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
}

}  // namespace

BENCHMARK(DenoisePicture)->Apply(SizesAndThreads);
BENCHMARK(FineDenoisePicture)->Apply(SizesAndThreads);
BENCHMARK(FineDenoiseCrop)
    ->ArgNames({"width", "height", "threads"})
    ->Args({4000, 3000, 1})
    ->Args({4000, 3000, 0})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
