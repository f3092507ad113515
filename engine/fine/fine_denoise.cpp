#include "engine/fine/fine_denoise.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <new>
#include <vector>

#include "engine/classic/classic_denoise.h"
#include "engine/fine/block_matching.h"
#include "engine/fine/clipping_bias.h"
#include "engine/fine/fine_tile.h"
#include "engine/fine/mirror.h"
#include "engine/fine/noise_estimate.h"
#include "engine/fine/opponent_colour.h"
#include "engine/fine/similarity_stage.h"
#include "engine/parallel_for.h"
#include "engine/quality.h"

namespace {

// The largest part of a tile a run keeps: the margins, 84 samples a side under white noise, cost
// less around a larger core (640 against 432 took a tenth off a 12-megapixel run, 768 against 640
// a further twentieth, each for about a fifth more memory; 1024 against 768 another 6 %, 4000 x
// 3000 in 12 tiles of 1000 x 1000 instead of 24 of 667 x 750, for 270 MB in all instead of 190).
// Tiles are made smaller, down to smallestCore, so that the threads asked for fit in the classic
// run's memory, and a picture is cut into at least as many tiles as there are threads where its
// tiles need not become smaller than that.
// The bytes written do not depend on the tiles (each keeps only what its margin makes exact).
// Where even one tile of smallestCore does not fit (white noise's wide margins on a picture of a few
// hundred pixels), its core is made smaller still, down to leastCore.
constexpr int largestCore = 1024;
// A frame's samples, with its row padding (under 16), stay within what the matching's keys hold.
constexpr int widestFrame = largestCore + 2 * SimilarityMargin({true, true});
static_assert((widestFrame + 16) * widestFrame < matchableOffsets);
constexpr int smallestCore = 128;
constexpr int leastCore = 64;
// Colour noise is smoothed more than brightness noise: the eye forgives lost colour detail, not
// coloured blotches.
constexpr float colourStrength = 1.3f;

struct TileGrid {
    int columns = 1, rows = 1;
    int coreWidth = 0, coreHeight = 0;  // of every tile but the last of a row or column
    int workers = 1;
    int Count() const { return columns * rows; }
};

// The wavelet pass covers the self-similarity stage's whole frame, and needs its own margin around
// that.
int WaveletTileSide(int coreSide, const StagePlan& plan)
{
    return coreSide + 2 * SimilarityMargin(plan) + 2 * tileMargin;
}

std::int64_t BytesPerWorker(int coreWidth, int coreHeight, const StagePlan& plan)
{
    const int width = WaveletTileSide(coreWidth, plan), height = WaveletTileSide(coreHeight, plan);
    const int margin = SimilarityMargin(plan);
    const std::int64_t pilot =
        3 * static_cast<std::int64_t>(SimilarityPlaneFloats(coreWidth + 2 * margin, coreHeight + 2 * margin));
    return static_cast<std::int64_t>(TileScratchBytes(width, height)) +
           static_cast<std::int64_t>(sizeof(float)) * pilot +
           static_cast<std::int64_t>(sizeof(int)) * 2 * (width + 8);
}

int CeilDiv(int a, int b) { return (a + b - 1) / b; }

// Cores of even parts, rounded up; parts rounded up may leave the last tile nothing, and then
// there is one tile fewer.
void CutEvenly(std::int32_t width, std::int32_t height, int columns, int rows, TileGrid& grid)
{
    grid.coreWidth = CeilDiv(width, columns);
    grid.coreHeight = CeilDiv(height, rows);
    grid.columns = CeilDiv(width, grid.coreWidth);
    grid.rows = CeilDiv(height, grid.coreHeight);
}

// How long the tiles take on the workers: the rounds of as many tiles as there are workers, each
// as long as the area the wavelet pass works on for a tile (the widest of the passes') is large.
double RunLength(const TileGrid& grid, const StagePlan& plan)
{
    return static_cast<double>(CeilDiv(grid.Count(), grid.workers)) * WaveletTileSide(grid.coreWidth, plan) *
           WaveletTileSide(grid.coreHeight, plan);
}

// Where the last round of tiles would leave workers idle, a few more, smaller tiles that fill the
// rounds end sooner in spite of their margins: 4000 x 3000 on eight threads takes 40 tiles in five
// full rounds rather than 35 in five, the last with three workers busy; each round is shorter by a
// tenth. Smaller tiles need less memory, so the workers still fit.
// That area is a rough measure of a tile's time (the later passes work on less of it), so only a
// clear gain changes the grid: 2000 x 1500 under correlated noise on two threads in 12 tiles
// instead of 9, by this measure 4 % sooner, took the same time.
void FillRounds(std::int32_t width, std::int32_t height, const StagePlan& plan, TileGrid& grid)
{
    constexpr int mostMore = 8;
    constexpr double clearGain = 0.95;
    const TileGrid first = grid;
    const double firstLength = RunLength(first, plan);
    for (int columns = first.columns; columns <= first.columns + mostMore; ++columns)
        for (int rows = first.rows; rows <= first.rows + mostMore; ++rows) {
            TileGrid candidate = first;
            CutEvenly(width, height, columns, rows, candidate);
            const bool narrower = candidate.coreWidth < first.coreWidth;
            const bool lower = candidate.coreHeight < first.coreHeight;
            if ((narrower && candidate.coreWidth < smallestCore) || (lower && candidate.coreHeight < smallestCore))
                continue;
            const double length = RunLength(candidate, plan);
            if (length < clearGain * firstLength && length < RunLength(grid, plan)) grid = candidate;
        }
}

TileGrid GridFor(std::int32_t width, std::int32_t height, int threads, const StagePlan& plan)
{
    const std::int64_t budget = ClassicMemoryNeed(width, height);
    threads = ThreadsFor(threads);
    int core = largestCore;
    while (core > smallestCore && BytesPerWorker(core, core, plan) * threads > budget) core -= 16;
    while (core > leastCore && BytesPerWorker(core, core, plan) > budget) core -= 16;
    TileGrid grid;
    grid.columns = CeilDiv(width, core);
    grid.rows = CeilDiv(height, core);
    while (grid.Count() < threads) {
        const int across = width / (grid.columns + 1), down = height / (grid.rows + 1);
        if (across >= down && across >= smallestCore) ++grid.columns;
        else if (down >= smallestCore) ++grid.rows;
        else break;
    }
    CutEvenly(width, height, grid.columns, grid.rows, grid);
    const std::int64_t fitting = budget / BytesPerWorker(grid.coreWidth, grid.coreHeight, plan);
    grid.workers = static_cast<int>(std::max<std::int64_t>(1, std::min<std::int64_t>({threads, grid.Count(), fitting})));
    FillRounds(width, height, plan, grid);
    return grid;
}

struct Worker {
    TileScratch scratch;            // the wavelet pass's, then the noisy frame and the stage's sums
    std::vector<float> pilot;       // the wavelet result over the frame, channel after channel
    std::vector<int> columnSource;  // picture column of each tile column, mirrored at the edges
    // For the brightness codes: the picture column of each tile column from 4 before the tile to 4
    // after it, and each such column's sum of r + g + b over 8 rows.
    std::vector<int> boxSource;
    std::vector<int> columnSums;
};

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

int Grey(const std::uint8_t* pixel)
{
    return pixel[0] + pixel[1] + pixel[2];
}

// The tile's brightness codes: each 8 x 8 box's sum of r + g + b, running down the columns and
// then along the row, over the picture mirrored at its edges like the tile itself.
void FillBrightness(const Tile& tile, std::int32_t width, std::int32_t height, const std::uint8_t* const* rows,
                    Worker& worker)
{
    constexpr int before = 4, side = 8;
    const int tileWidth = tile.coreWidth + 2 * tileMargin, tileHeight = tile.coreHeight + 2 * tileMargin;
    const int boxWidth = tileWidth + side;
    for (int x = 0; x < boxWidth; ++x) worker.boxSource[x] = Mirror(tile.x0 - tileMargin - before + x, width);
    const auto row = [&](int y) { return rows[Mirror(tile.y0 - tileMargin + y, height)]; };
    int* sums = worker.columnSums.data();
    std::fill(sums, sums + boxWidth, 0);
    for (int y = -before; y < side - before; ++y) {
        const std::uint8_t* r = row(y);
        for (int x = 0; x < boxWidth; ++x) sums[x] += Grey(r + 3 * worker.boxSource[x]);
    }
    std::uint8_t* codes = TileBrightness(worker.scratch);
    for (int y = 0; y < tileHeight; ++y) {
        if (y > 0) {
            const std::uint8_t* entering = row(y + side - before - 1);
            const std::uint8_t* leaving = row(y - before - 1);
            for (int x = 0; x < boxWidth; ++x)
                sums[x] += Grey(entering + 3 * worker.boxSource[x]) - Grey(leaving + 3 * worker.boxSource[x]);
        }
        int box = 0;
        for (int x = 0; x < side; ++x) box += sums[x];
        std::uint8_t* out = codes + static_cast<std::size_t>(y) * tileWidth;
        for (int x = 0; x < tileWidth; ++x) {
            out[x] = static_cast<std::uint8_t>(box / (3 * side * side));
            box += sums[x + side] - sums[x];
        }
    }
}

// The wavelet result of the tile's core goes to the pilot plane of the stage's frame.
void KeepCore(const Tile& tile, float* pilot, const SimilarityPlanes& planes, TileScratch& scratch)
{
    const int tileWidth = tile.coreWidth + 2 * tileMargin;
    const float* plane = TilePicture(scratch);
    for (int y = 0; y < tile.coreHeight; ++y) {
        const float* in = plane + static_cast<std::size_t>(y + tileMargin) * tileWidth + tileMargin;
        float* out = pilot + static_cast<std::size_t>(tile.y0 + y - planes.frame.top) * planes.stride +
                     (tile.x0 - planes.frame.left);
        std::copy(in, in + tile.coreWidth, out);
    }
}

// The noisy picture's three channels over the stage's frame.
void FillFrame(const SimilarityPlanes& planes, const std::uint8_t* const* rows)
{
    const PictureRect& frame = planes.frame;
    for (int y = 0; y < frame.height; ++y) {
        const std::uint8_t* pixel = rows[frame.top + y] + 3 * frame.left;
        const std::size_t at = static_cast<std::size_t>(y) * planes.stride;
        for (int x = 0; x < frame.width; ++x, pixel += 3)
            RgbToOpponent(pixel[2], pixel[1], pixel[0], planes.noisy[0][at + x], planes.noisy[1][at + x],
                          planes.noisy[2][at + x]);
        for (int c = 0; c < 3; ++c)
            std::fill(planes.noisy[c] + at + frame.width, planes.noisy[c] + at + planes.stride, 0.0f);
    }
}

SimilarityPlanes PlanesFor(const Tile& tile, std::int32_t width, std::int32_t height, const StagePlan& plan,
                           Worker& worker)
{
    SimilarityPlanes planes;
    planes.plan = plan;
    planes.picture = {0, 0, width, height};
    planes.core = {tile.x0, tile.y0, tile.coreWidth, tile.coreHeight};
    planes.frame = SimilarityFrame(planes.picture, planes.core, plan);
    const std::size_t planeSize = SimilarityPlaneFloats(planes.frame.width, planes.frame.height);
    planes.stride = static_cast<int>(planeSize / planes.frame.height);
    // The wavelet pass is done with its planes when the stage starts; they hold more than the
    // stage's twelve frame planes (the wavelet tile is the frame and a margin, thirteen planes).
    float* block = TilePicture(worker.scratch);
    for (int c = 0; c < 3; ++c) {
        planes.pilot[c] = worker.pilot.data() + c * planeSize;
        planes.noisy[c] = block + c * planeSize;
        planes.sum[c] = block + (3 + c) * planeSize;
        planes.weight[c] = block + (6 + c) * planeSize;
        planes.dc[c] = block + (9 + c) * planeSize;
    }
    return planes;
}

// Where the results go: the area's first pixel and the distance between its rows.
struct Output {
    PictureArea area;
    std::uint8_t* pixels;
    std::int64_t stride;
};

// The core's three denoised channels (core width floats a row) to the output's pixels.
void WriteCore(const Tile& tile, const float* const* channels, const ClippingCorrection& clipping,
               const Output& output)
{
    for (int y = 0; y < tile.coreHeight; ++y) {
        const std::size_t at = static_cast<std::size_t>(y) * tile.coreWidth;
        const float* luma = channels[0] + at;
        const float* redBlue = channels[1] + at;
        const float* greenMagenta = channels[2] + at;
        std::uint8_t* pixel =
            output.pixels + (tile.y0 - output.area.top + y) * output.stride + 3 * (tile.x0 - output.area.left);
        for (int x = 0; x < tile.coreWidth; ++x, pixel += 3) {
            float r, g, b;
            OpponentToRgb(luma[x], redBlue[x], greenMagenta[x], r, g, b);
            pixel[0] = ToByte(UnclippedValue(clipping, 2, b));
            pixel[1] = ToByte(UnclippedValue(clipping, 1, g));
            pixel[2] = ToByte(UnclippedValue(clipping, 0, r));
        }
    }
}

// The wavelet pass over the stage's frame, then the stage on the core.
void DenoiseTile(const Tile& tile, const ChannelNoise* noise, const PatchNoise& patchNoise,
                 const ClippingCorrection& clipping, std::int32_t width, std::int32_t height,
                 const std::uint8_t* const* rows, const Output& output, Worker& worker)
{
    const SimilarityPlanes planes = PlanesFor(tile, width, height, StagePlanFor(patchNoise), worker);
    const Tile wavelet{planes.frame.left, planes.frame.top, planes.frame.width, planes.frame.height};
    const int tileWidth = wavelet.coreWidth + 2 * tileMargin, tileHeight = wavelet.coreHeight + 2 * tileMargin;
    for (int x = 0; x < tileWidth; ++x) worker.columnSource[x] = Mirror(wavelet.x0 - tileMargin + x, width);
    FillBrightness(wavelet, width, height, rows, worker);
    for (int channel = 0; channel < 3; ++channel) {
        FillTile(wavelet, channel, height, rows, worker);
        DenoiseTileChannel(worker.scratch, tileWidth, tileHeight, noise[channel]);
        KeepCore(wavelet, planes.pilot[channel], planes, worker.scratch);
    }
    FillFrame(planes, rows);
    // The stage is done with its coefficients 0 when it writes the results: they take their place.
    SimilarityDenoise(planes, patchNoise, planes.dc);
    WriteCore(tile, planes.dc, clipping, output);
}

bool PrepareWorkers(const TileGrid& grid, const StagePlan& plan, std::vector<Worker>& workers)
{
    const int tileWidth = WaveletTileSide(grid.coreWidth, plan), tileHeight = WaveletTileSide(grid.coreHeight, plan);
    const int margin = SimilarityMargin(plan);
    const std::size_t framePlane = SimilarityPlaneFloats(grid.coreWidth + 2 * margin, grid.coreHeight + 2 * margin);
    try {
        workers.resize(static_cast<std::size_t>(grid.workers));
        for (Worker& worker : workers) {
            if (!AllocateTileScratch(tileWidth, tileHeight, worker.scratch)) return false;
            worker.pilot.resize(3 * framePlane);
            worker.columnSource.resize(static_cast<std::size_t>(tileWidth));
            worker.boxSource.resize(static_cast<std::size_t>(tileWidth) + 8);
            worker.columnSums.resize(static_cast<std::size_t>(tileWidth) + 8);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// The noise the shrinkage removes, per channel: the measured deviation scaled by the strength (50
// takes it as measured), looked up once per brightness code.
std::vector<ChannelNoise> ShrinkageNoise(const NoiseLevels& noise, int strength)
{
    std::vector<ChannelNoise> channels(3);
    for (int c = 0; c < 3; ++c) {
        const float factor = static_cast<float>(strength) / 50.0f * (c == 0 ? 1.0f : colourStrength);
        for (int code = 0; code < brightnessCodes; ++code) {
            const float brightness = static_cast<float>(code) + 0.5f;
            for (int o = 0; o < 3; ++o) {
                float sigma = BandSigma(noise, c, 0, o, brightness) * factor;
                for (int level = 0; level < fineLevels; ++level) {
                    const float parent = BandSigma(noise, c, level + 1, o, brightness) * factor;
                    channels[static_cast<std::size_t>(c)].variance[level][o][code] = sigma * sigma;
                    channels[static_cast<std::size_t>(c)].parentScale[level][o][code] =
                        parent > 0 ? sigma / parent : 1.0f;
                    sigma = parent;
                }
            }
        }
    }
    return channels;
}

NoiseBrief BriefOf(const NoiseLevels& noise)
{
    NoiseBrief brief;
    const int bins[3] = {0, (noise.bins - 1) / 2, noise.bins - 1};
    for (int i = 0; i < 3; ++i) {
        brief.brightness[static_cast<std::size_t>(i)] = noise.brightness[bins[i]];
        for (int c = 0; c < 3; ++c) {
            const float* finest = noise.band[bins[i]][c][0];
            const float* coarsest = noise.band[bins[i]][c][fineLevels - 1];
            brief.finest[static_cast<std::size_t>(i)][static_cast<std::size_t>(c)] =
                (finest[0] + finest[1] + finest[2]) / 3;
            brief.coarsest[static_cast<std::size_t>(i)][static_cast<std::size_t>(c)] =
                (coarsest[0] + coarsest[1] + coarsest[2]) / 3;
            brief.correlationFinest[static_cast<std::size_t>(i)][static_cast<std::size_t>(c)] =
                BandCorrelation(noise, bins[i], c, 0, 2);
            brief.correlationCoarse[static_cast<std::size_t>(i)][static_cast<std::size_t>(c)] =
                BandCorrelation(noise, bins[i], c, 2, 2);
        }
    }
    return brief;
}

// The noise the run works with: the one the settings carry, or measured on the whole picture by
// as many threads as the tiles could have (the measurement's figures do not depend on them).
std::shared_ptr<const NoiseLevels> NoiseOf(const DenoiseSettings& settings, std::int32_t width, std::int32_t height,
                                           const std::uint8_t* const* rows, const PictureArea& area)
{
    if (settings.noise) return settings.noise;
    WorkerTeam team(GridFor(area.width, area.height, settings.threads, StagePlan{}).workers);
    return std::make_shared<const NoiseLevels>(EstimateNoise(width, height, rows, team));
}

// Denoises the area's tiles into output; false when the memory for them cannot be had.
bool DenoiseTiles(const DenoiseSettings& settings, const DenoiseHooks& hooks, const BitmapInfoHeader* header,
                  const std::uint8_t* const* rows, const Output& output, DenoiseOutcome& outcome)
{
    const std::int32_t width = header->biWidth, height = header->biHeight;
    const PictureArea& area = output.area;
    try {
        outcome.noise = NoiseOf(settings, width, height, rows, area);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const NoiseLevels& noise = *outcome.noise;
    std::copy(noise.sigma, noise.sigma + 3, outcome.noiseSigma.begin());
    outcome.noiseBrief = BriefOf(noise);
    std::vector<ChannelNoise> channels;
    std::unique_ptr<PatchNoise> patchNoise;
    std::unique_ptr<ClippingCorrection> clipping;
    try {
        channels = ShrinkageNoise(noise, settings.filterStrength);
        patchNoise = std::make_unique<PatchNoise>();
        MeasuredPatchNoise(noise, settings.filterStrength, *patchNoise);
        clipping = std::make_unique<ClippingCorrection>();
        MeasuredClippingCorrection(noise, settings.filterStrength, *clipping);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // The stage's margins, and so the tiles, are as wide as its passes need under this noise.
    const StagePlan plan = StagePlanFor(*patchNoise);
    const TileGrid grid = GridFor(area.width, area.height, settings.threads, plan);
    std::vector<Worker> workers;
    if (!PrepareWorkers(grid, plan, workers)) return false;
    WorkerTeam team(static_cast<int>(workers.size()));
    if (hooks.progress) hooks.progress(ProgressPhase::Working, 5);
    std::atomic<int> finished{0};
    ParallelFor(team, grid.Count(), 1, [&](int worker, int first, int last) {
        for (int index = first; index < last; ++index) {
            const int x0 = (index % grid.columns) * grid.coreWidth, y0 = (index / grid.columns) * grid.coreHeight;
            const Tile tile{area.left + x0, area.top + y0, std::min<int>(grid.coreWidth, area.width - x0),
                            std::min<int>(grid.coreHeight, area.height - y0)};
            DenoiseTile(tile, channels.data(), *patchNoise, *clipping, width, height, rows, output,
                        workers[static_cast<std::size_t>(worker)]);
            const int done = finished.fetch_add(1) + 1;
            if (worker == 0 && hooks.progress) hooks.progress(ProgressPhase::Working, 5 + 85 * done / grid.Count());
        }
    });
    return true;
}

}  // namespace

std::int64_t FineMemoryNeed(std::int32_t width, std::int32_t height, int threads)
{
    if (width <= 0 || height <= 0) return 0;
    // The noise is not known yet: the widest margins, white noise's, bound every plan.
    const StagePlan widest{true, true};
    const TileGrid grid = GridFor(width, height, threads, widest);
    return grid.workers * BytesPerWorker(grid.coreWidth, grid.coreHeight, widest);
}

DenoiseOutcome FineDenoiseImage(const DenoiseSettings& settings, const DenoiseHooks& hooks,
                                const BitmapInfoHeader* header, std::uint8_t* bits, const std::uint8_t* const* rows)
{
    if (hooks.progress) hooks.progress(ProgressPhase::Starting, 0);
    DenoiseOutcome outcome;
    const std::int32_t width = header->biWidth, height = header->biHeight;
    if (width <= 0 || height <= 0) return outcome;
    const Output output{{0, 0, width, height}, bits, RowStride(width)};
    if (!DenoiseTiles(settings, hooks, header, rows, output, outcome)) return DenoiseOutcome{};
    if (hooks.resultReady) hooks.resultReady();
    WorkerTeam team(settings.threads);
    outcome.figures = MeasureQuality(team, header, bits, rows);
    if (hooks.progress) hooks.progress(ProgressPhase::Working, 100);
    outcome.done = true;
    return outcome;
}

DenoiseOutcome FineDenoiseArea(const DenoiseSettings& settings, const BitmapInfoHeader* header,
                               const std::uint8_t* const* rows, const PictureArea& area, std::uint8_t* out,
                               std::int64_t outStride)
{
    DenoiseOutcome outcome;
    const std::int32_t width = header->biWidth, height = header->biHeight;
    if (width <= 0 || height <= 0 || area.width <= 0 || area.height <= 0 || area.left < 0 || area.top < 0 ||
        area.width > width - area.left || area.height > height - area.top)
        return outcome;
    if (!DenoiseTiles(settings, {}, header, rows, Output{area, out, outStride}, outcome)) return DenoiseOutcome{};
    outcome.done = true;
    return outcome;
}
