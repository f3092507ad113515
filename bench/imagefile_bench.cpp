#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <vector>

#include <jpeglib.h>

#include "imagefile/bmp_file.h"
#include "imagefile/converter_library.h"
#include "imagefile/image_file.h"
#include "zentile/codecs.h"

namespace {

constexpr int width = 4000, height = 3000;

// A photograph-like picture: smooth gradients with a little noise, so that compression works as
// it does on real pictures.
const Image& Picture()
{
    static Image image = [] {
        Image made;
        AllocateImage(width, height, made);
        std::mt19937 noise(7);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < 3; ++c)
                    made.bits[y * RowStride(width) + 3 * x + c] = static_cast<std::uint8_t>((x / 16 + y / 12 + c * 60) % 256 + noise() % 8);
        FillSourceRows(made);
        return made;
    }();
    return image;
}

std::string Scratch(const char* name)
{
    return (std::filesystem::temp_directory_path() / name).string();
}

void Megapixels(benchmark::State& state)
{
    state.counters["MP/s"] = benchmark::Counter(12.0 * state.iterations(), benchmark::Counter::kIsRate);
}

void BmpSaving(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(SaveBmpFile(Picture(), Scratch("qv-bench.bmp")) == FileError::None);
    Megapixels(state);
}
BENCHMARK(BmpSaving)->Unit(benchmark::kMillisecond);

void BmpLoading(benchmark::State& state)
{
    SaveBmpFile(Picture(), Scratch("qv-bench.bmp"));
    Image image;
    for (auto _ : state) benchmark::DoNotOptimize(LoadImageFile(Scratch("qv-bench.bmp"), image) == FileError::None);
    Megapixels(state);
}
BENCHMARK(BmpLoading)->Unit(benchmark::kMillisecond);

// Arguments: bands (0 = one per core).
void PngEncoding(benchmark::State& state)
{
    std::vector<std::uint8_t> png;
    const int bands = static_cast<int>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(EncodePng(reinterpret_cast<const std::uint8_t*>(Picture().header), 6, bands, nullptr, 0, png));
    state.counters["bytes"] = static_cast<double>(png.size());
    Megapixels(state);
}
BENCHMARK(PngEncoding)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

void PngDecoding(benchmark::State& state)
{
    std::vector<std::uint8_t> png, block;
    EncodePng(reinterpret_cast<const std::uint8_t*>(Picture().header), 6, 0, nullptr, 0, png);
    for (auto _ : state) benchmark::DoNotOptimize(DecodePng(png.data(), png.size(), 1u << 30, block) == FileError::None);
    Megapixels(state);
}
BENCHMARK(PngDecoding)->Unit(benchmark::kMillisecond);

std::vector<std::uint8_t> JpegOfPicture()
{
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* bytes = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &bytes, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = Picture().bits + (height - 1 - info.next_scanline) * RowStride(width);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<std::uint8_t> jpeg(bytes, bytes + size);
    std::free(bytes);
    return jpeg;
}

void JpegDecoding(benchmark::State& state)
{
    const std::vector<std::uint8_t> jpeg = JpegOfPicture();
    std::vector<std::uint8_t> block;
    for (auto _ : state) benchmark::DoNotOptimize(DecodeJpeg(jpeg.data(), jpeg.size(), 1, 1u << 30, block) == FileError::None);
    Megapixels(state);
}
BENCHMARK(JpegDecoding)->Unit(benchmark::kMillisecond);

}  // namespace
