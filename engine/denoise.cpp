#include "engine/denoise.h"

#include <cstring>
#include <limits>

#include "engine/classic/classic_denoise.h"
#include "engine/fine/fine_denoise.h"
#include "engine/parallel_for.h"
#include "engine/quality.h"

namespace {

// The adaptive preview: the area denoised in its context into a picture of the area's size,
// measured there, then put into the crop.
DenoiseOutcome FineCrop(const DenoiseSettings& settings, const BitmapInfoHeader* header,
                        const std::uint8_t* const* rows, const PictureArea& area, Image& crop)
{
    Image result;
    if (area.width > crop.header->biWidth || area.height > crop.header->biHeight ||
        !AllocateImage(area.width, area.height, result, NewPixels::ToBeWritten))
        return {};
    DenoiseOutcome outcome = FineDenoiseArea(settings, header, rows, area, result.bits, RowStride(area.width));
    if (!outcome.done) return outcome;
    const std::size_t bytes = 3 * static_cast<std::size_t>(area.width);
    for (std::int32_t y = 0; y < area.height; ++y)
        std::memcpy(result.rows[y], rows[area.top + y] + 3 * static_cast<std::size_t>(area.left), bytes);
    WorkerTeam team(settings.threads);
    outcome.figures = MeasureQuality(team, result.header, result.bits, result.rows.get());
    const std::int64_t from = RowStride(area.width), to = RowStride(crop.header->biWidth);
    for (std::int32_t y = 0; y < area.height; ++y) std::memcpy(crop.bits + y * to, result.bits + y * from, bytes);
    return outcome;
}

}  // namespace

DenoiseOutcome DenoiseImage(const DenoiseSettings& settings, const DenoiseHooks& hooks, const BitmapInfoHeader* header,
                            std::uint8_t* bits, const std::uint8_t* const* rows)
{
    switch (settings.method) {
    case Method::Fine: return FineDenoiseImage(settings, hooks, header, bits, rows);
    case Method::Classic: break;
    }
    return ClassicDenoiseImage(settings, hooks, header, bits, rows);
}

DenoiseOutcome DenoiseCrop(const DenoiseSettings& settings, const BitmapInfoHeader* header,
                           const std::uint8_t* const* rows, const PictureArea& area, Image& crop)
{
    switch (settings.method) {
    case Method::Fine: return FineCrop(settings, header, rows, area, crop);
    case Method::Classic: break;
    }
    return ClassicDenoiseImage(settings, {}, crop.header, crop.bits, crop.rows.get());
}

std::uint64_t DenoiseMemoryNeed(const DenoiseSettings& settings, std::uint64_t width, std::uint64_t height)
{
    constexpr std::uint64_t largestSide = 0x7FFFFFFF;
    if (width > largestSide || height > largestSide) return std::numeric_limits<std::uint64_t>::max();
    const auto w = static_cast<std::int32_t>(width), h = static_cast<std::int32_t>(height);
    switch (settings.method) {
    case Method::Fine: return static_cast<std::uint64_t>(FineMemoryNeed(w, h, settings.threads));
    case Method::Classic: break;
    }
    return static_cast<std::uint64_t>(ClassicMemoryNeed(w, h));
}
