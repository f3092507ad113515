#include "engine/fine_denoise.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <vector>

#include "engine/denoise.h"
#include "engine/fine_tile.h"
#include "engine/opponent_colour.h"
#include "engine/parallel_for.h"

namespace {

// The part of a tile a run keeps; with the margins the tile is a little over a megabyte a plane,
// small enough to stay near the processor.
constexpr int tileCore = 432;
// Colour noise is smoothed more than brightness noise: the eye forgives lost colour detail, not
// coloured blotches.
constexpr float colourStrength = 1.3f;

struct TileGrid {
    int columns = 0, rows = 0;
    int coreWidth = 0, coreHeight = 0;  // of the full tiles; the last ones may be narrower
    int Count() const { return columns * rows; }
};

TileGrid GridFor(std::int32_t width, std::int32_t height)
{
    TileGrid grid;
    grid.coreWidth = std::min<std::int32_t>(width, tileCore);
    grid.coreHeight = std::min<std::int32_t>(height, tileCore);
    grid.columns = (width + tileCore - 1) / tileCore;
    grid.rows = (height + tileCore - 1) / tileCore;
    return grid;
}

std::int64_t BytesPerWorker(const TileGrid& grid)
{
    const int width = grid.coreWidth + 2 * tileMargin, height = grid.coreHeight + 2 * tileMargin;
    const std::int64_t results = 3 * std::int64_t{grid.coreWidth} * grid.coreHeight;
    return static_cast<std::int64_t>(sizeof(float)) * (static_cast<std::int64_t>(TileScratchFloats(width, height)) + results);
}

// Threads asked for, fewer when their tiles would hold more than the classic run's planes.
int WorkersFor(const TileGrid& grid, std::int32_t width, std::int32_t height, int threads)
{
    const std::int64_t fitting = DenoiseMemoryNeed(width, height) / BytesPerWorker(grid);
    const std::int64_t workers = std::min<std::int64_t>({ThreadsFor(threads), grid.Count(), fitting});
    return static_cast<int>(std::max<std::int64_t>(workers, 1));
}

struct Worker {
    TileScratch scratch;
    std::vector<float> results;    // the three denoised channels of the tile's core
    std::vector<int> columnSource;  // picture column of each tile column, mirrored at the edges
};

// Mirrors a position outside 0 ... length - 1 back into it (the edge sample repeated), as often as
// a short picture needs.
int Mirror(int i, int length)
{
    const int period = 2 * length;
    i %= period;
    if (i < 0) i += period;
    return i < length ? i : period - 1 - i;
}

float Channel(const std::uint8_t* pixel, int channel)
{
    float y, c1, c2;
    RgbToOpponent(pixel[2], pixel[1], pixel[0], y, c1, c2);
    return channel == 0 ? y : channel == 1 ? c1 : c2;
}

std::uint8_t ToByte(float value)
{
    return static_cast<std::uint8_t>(std::min(std::max(value, 0.0f), 255.0f) + 0.5f);
}

struct Tile {
    int x0, y0, coreWidth, coreHeight;
};

void FillTile(const Tile& tile, int channel, std::int32_t height, const std::uint8_t* const* rows,
              Worker& worker)
{
    const int tileWidth = tile.coreWidth + 2 * tileMargin, tileHeight = tile.coreHeight + 2 * tileMargin;
    float* plane = TilePicture(worker.scratch);
    for (int y = 0; y < tileHeight; ++y) {
        const std::uint8_t* row = rows[Mirror(tile.y0 - tileMargin + y, height)];
        float* out = plane + static_cast<std::size_t>(y) * tileWidth;
        for (int x = 0; x < tileWidth; ++x) out[x] = Channel(row + 3 * worker.columnSource[x], channel);
    }
}

void KeepCore(const Tile& tile, int channel, Worker& worker)
{
    const int tileWidth = tile.coreWidth + 2 * tileMargin;
    const float* plane = TilePicture(worker.scratch);
    float* out = worker.results.data() + static_cast<std::size_t>(channel) * tile.coreWidth * tile.coreHeight;
    for (int y = 0; y < tile.coreHeight; ++y) {
        const float* in = plane + static_cast<std::size_t>(y + tileMargin) * tileWidth + tileMargin;
        std::copy(in, in + tile.coreWidth, out + static_cast<std::size_t>(y) * tile.coreWidth);
    }
}

void WriteCore(const Tile& tile, const Worker& worker, std::int32_t width, std::uint8_t* bits)
{
    const std::size_t channelSize = static_cast<std::size_t>(tile.coreWidth) * tile.coreHeight;
    const std::int64_t stride = RowStride(width);
    for (int y = 0; y < tile.coreHeight; ++y) {
        const std::size_t at = static_cast<std::size_t>(y) * tile.coreWidth;
        const float* luma = worker.results.data() + at;
        const float* redBlue = luma + channelSize;
        const float* greenMagenta = redBlue + channelSize;
        std::uint8_t* pixel = bits + (tile.y0 + y) * stride + 3 * tile.x0;
        for (int x = 0; x < tile.coreWidth; ++x, pixel += 3) {
            float r, g, b;
            OpponentToRgb(luma[x], redBlue[x], greenMagenta[x], r, g, b);
            pixel[0] = ToByte(b);
            pixel[1] = ToByte(g);
            pixel[2] = ToByte(r);
        }
    }
}

void DenoiseTile(const Tile& tile, const float (&sigma)[3], std::int32_t width, std::int32_t height,
                 const std::uint8_t* const* rows, std::uint8_t* bits, Worker& worker)
{
    const int tileWidth = tile.coreWidth + 2 * tileMargin, tileHeight = tile.coreHeight + 2 * tileMargin;
    for (int x = 0; x < tileWidth; ++x) worker.columnSource[x] = Mirror(tile.x0 - tileMargin + x, width);
    for (int channel = 0; channel < 3; ++channel) {
        FillTile(tile, channel, height, rows, worker);
        DenoiseTileChannel(worker.scratch, tileWidth, tileHeight, sigma[channel]);
        KeepCore(tile, channel, worker);
    }
    WriteCore(tile, worker, width, bits);
}

bool PrepareWorkers(const TileGrid& grid, int count, std::vector<Worker>& workers)
{
    const int tileWidth = grid.coreWidth + 2 * tileMargin, tileHeight = grid.coreHeight + 2 * tileMargin;
    try {
        workers.resize(static_cast<std::size_t>(count));
        for (Worker& worker : workers) {
            if (!AllocateTileScratch(tileWidth, tileHeight, worker.scratch)) return false;
            worker.results.resize(3 * static_cast<std::size_t>(grid.coreWidth) * grid.coreHeight);
            worker.columnSource.resize(static_cast<std::size_t>(tileWidth));
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace

std::int64_t FineDenoiseMemoryNeed(std::int32_t width, std::int32_t height, int threads)
{
    if (width <= 0 || height <= 0) return 0;
    const TileGrid grid = GridFor(width, height);
    return WorkersFor(grid, width, height, threads) * BytesPerWorker(grid);
}

FineOutcome FineDenoiseImage(const FineSettings& settings, const BitmapInfoHeader* header,
                             std::uint8_t* bits, const std::uint8_t* const* rows)
{
    FineOutcome outcome;
    const std::int32_t width = header->biWidth, height = header->biHeight;
    if (width <= 0 || height <= 0) return outcome;
    const TileGrid grid = GridFor(width, height);
    std::vector<Worker> workers;
    if (!PrepareWorkers(grid, WorkersFor(grid, width, height, settings.threads), workers)) return outcome;
    const auto report = [&](int percent) {
        if (settings.progress) settings.progress(percent);
    };
    report(0);
    outcome.noise = EstimateNoise(width, height, rows, static_cast<int>(workers.size()));
    float sigma[3];
    for (int k = 0; k < 3; ++k)
        sigma[k] = (outcome.noise.sigma[k] * static_cast<float>(settings.strength)) / 50.0f * (k == 0 ? 1.0f : colourStrength);
    report(5);
    std::atomic<int> finished{0};
    ParallelFor(static_cast<int>(workers.size()), grid.Count(), 1, [&](int worker, int first, int last) {
        for (int index = first; index < last; ++index) {
            const Tile tile{(index % grid.columns) * tileCore, (index / grid.columns) * tileCore,
                            std::min<int>(tileCore, width - (index % grid.columns) * tileCore),
                            std::min<int>(tileCore, height - (index / grid.columns) * tileCore)};
            DenoiseTile(tile, sigma, width, height, rows, bits, workers[static_cast<std::size_t>(worker)]);
            const int done = finished.fetch_add(1) + 1;
            if (worker == 0) report(5 + 95 * done / grid.Count());
        }
    });
    report(100);
    outcome.done = true;
    return outcome;
}
