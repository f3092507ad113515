#include "engine/classic/classic_denoise.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <thread>

#include "colour/lab.h"
#include "engine/classic/coefficient_plane.h"
#include "engine/classic/shrink.h"
#include "engine/classic/wavelet.h"
#include "engine/newton_sqrt.h"
#include "engine/parallel_for.h"
#include "engine/quality.h"
#include "engine/wide_loops.h"
#include "support/huge_pages.h"

namespace {

// Rows handed to a thread at a time when converting pixels: enough work to outweigh the hand-over.
constexpr int rowGrain = 8;

void Report(const DenoiseHooks& hooks, int percent)
{
    if (hooks.progress) hooks.progress(ProgressPhase::Working, percent);
}

struct Planes {
    CoefficientPlane l, a, b;
};

// Releases the planes on a thread of its own, or at once when no thread can be had. Where the
// system backs them with small pages, returning hundreds of megabytes of them takes as long as
// measuring the result, which the caller does meanwhile.
std::thread ReleaseBeside(Planes& planes)
{
    try {
        return std::thread([&planes] { planes = Planes{}; });
    } catch (...) {  // std::system_error, or no memory for the thread's state
        planes = Planes{};
        return {};
    }
}

bool AllocatePlanes(std::int32_t size, Planes& planes)
{
    if (!AllocatePlane(size, planes.l) || !AllocatePlane(size, planes.a) ||
        !AllocatePlane(size, planes.b))
        return false;
    const std::size_t bytes = static_cast<std::size_t>(size) * static_cast<std::size_t>(size) * sizeof(double);
    for (CoefficientPlane* plane : {&planes.l, &planes.a, &planes.b})
        AdviseHugePages(plane->data.get(), bytes);
    return true;
}

// Every pixel's L*, a*, b* at its place in the square, scaled, with the caller's tone curve. The
// zeros to the left and right of the picture are written too, although fresh memory holds them
// already: the first row pass reads them, and a fresh page read before it is written costs the
// system a second fault and a flush of every core's page-table cache.
void CopyIn(WorkerTeam& team, const DenoiseSettings& settings, const std::uint8_t* const* rows, std::int32_t width,
            std::int32_t height, const PlaneLayout& layout, double rootTwo, Planes& planes)
{
    const int tone = settings.colour.toneMode;
    const bool wide = WideLoopsOn();
    ParallelFor(team, height, rowGrain, [&](int, int first, int last) {
        for (int y = first; y < last; ++y) {
            const std::int32_t i = static_cast<std::int32_t>(layout.rowOffset + y);
            double* l = PlaneRow(planes.l, i) + layout.colOffset;
            double* a = PlaneRow(planes.a, i) + layout.colOffset;
            double* b = PlaneRow(planes.b, i) + layout.colOffset;
            RgbRowToLab(wide, tone, rows[y], width, l, a, b);
            for (std::int32_t x = 0; x < width; ++x) ScaleIntoPlanes(rootTwo, l[x], a[x], b[x]);
            for (double* row : {l, a, b}) {
                std::fill(row - layout.colOffset, row, 0.0);
                std::fill(row + width, row - layout.colOffset + layout.size, 0.0);
            }
        }
    });
}

// The picture's part of the square back to 8-bit pixels with the caller's RGB correction; the
// row padding keeps its bytes.
void CopyOut(WorkerTeam& team, const DenoiseSettings& settings, const Planes& planes, std::int32_t width,
             std::int32_t height, const PlaneLayout& layout, double rootTwo, std::uint8_t* bits)
{
    const bool correction = settings.colour.rgbCorrection != 0;
    const bool wide = WideLoopsOn();
    const std::int64_t stride = RowStride(width);
    ParallelFor(team, height, rowGrain, [&](int, int first, int last) {
        // Each row in pieces scaled on the stack, then converted four pixels at a time.
        constexpr int piece = 64;
        double lStar[piece], aStar[piece], bStar[piece];
        for (int y = first; y < last; ++y) {
            const std::int32_t i = static_cast<std::int32_t>(layout.rowOffset + y);
            const double* l = PlaneRow(planes.l, i) + layout.colOffset;
            const double* a = PlaneRow(planes.a, i) + layout.colOffset;
            const double* b = PlaneRow(planes.b, i) + layout.colOffset;
            std::uint8_t* pixels = bits + y * stride;
            for (std::int32_t x = 0; x < width; x += piece) {
                const int count = width - x < piece ? width - x : piece;
                for (int k = 0; k < count; ++k) {
                    lStar[k] = l[x + k], aStar[k] = a[x + k], bStar[k] = b[x + k];
                    ScaleOutOfPlanes(rootTwo, lStar[k], aStar[k], bStar[k]);
                }
                LabRowToRgb(wide, correction, lStar, aStar, bStar, count, pixels + 3 * x);
            }
        }
    });
}

using RowPass = bool (*)(WorkerTeam&, CoefficientPlane&, std::int32_t, int, std::int32_t, std::int32_t);

bool RowPasses(RowPass pass, WorkerTeam& team, Planes& planes, std::int32_t size, int levels, std::int32_t firstRow,
               std::int32_t lastRow)
{
    return pass(team, planes.l, size, levels, firstRow, lastRow) &&
           pass(team, planes.a, size, levels, firstRow, lastRow) &&
           pass(team, planes.b, size, levels, firstRow, lastRow);
}

void TransposePlanes(WorkerTeam& team, Planes& planes, std::int32_t size, RowSpan nonZero, RowSpan wanted)
{
    TransposePlane(team, planes.l, size, nonZero, wanted);
    TransposePlane(team, planes.a, size, nonZero, wanted);
    TransposePlane(team, planes.b, size, nonZero, wanted);
}

// Wavelet transform, shrinkage and inverse, with the run's progress between the phases. False
// only when a pass cannot get its scratch memory. The first pass leaves out the square's rows
// above and below the picture: they are zero and would stay zero, and the transposition after it
// takes them as zero without reading them. The last pass leaves them out as well, because nothing
// reads them afterwards, and so the transposition before it does not fill them.
bool Denoise(WorkerTeam& team, const DenoiseSettings& settings, const DenoiseHooks& hooks, Planes& planes,
             std::int32_t size, const PlaneLayout& layout, std::int32_t width, std::int32_t height)
{
    const int levels = LevelCount(size);
    const int coarse = CoarseSize(size);
    const auto top = static_cast<std::int32_t>(layout.rowOffset);
    if (!RowPasses(ForwardRowPass, team, planes, size, levels, top, top + height)) return false;
    Report(hooks, 20);
    TransposePlanes(team, planes, size, {top, top + height}, {0, size});
    Report(hooks, 30);
    if (!RowPasses(ForwardRowPass, team, planes, size, levels, 0, size)) return false;
    Report(hooks, 40);
    const auto left = static_cast<std::int32_t>(layout.colOffset);
    const CoefficientSupport support = SupportOfPicture(size, levels, left, width, top, height);
    ShrinkStage1(team, planes.l, planes.a, planes.b, size, coarse, width, height, support);
    Report(hooks, 50);
    ShrinkStages2And3(team, settings, planes.l, planes.a, planes.b, size, coarse, width, height, support);
    Report(hooks, 60);
    ShrinkStage4(team, planes.l, planes.a, planes.b, size, coarse, width, height, support);
    Report(hooks, 70);
    if (!RowPasses(InverseRowPass, team, planes, size, levels, 0, size)) return false;
    TransposePlanes(team, planes, size, {0, size}, {top, top + height});
    if (!RowPasses(InverseRowPass, team, planes, size, levels, top, top + height)) return false;
    Report(hooks, 80);
    return true;
}

}  // namespace

PlaneLayout LayoutFor(std::int32_t width, std::int32_t height)
{
    const std::int64_t larger = width > height ? width : height;
    PlaneLayout layout;
    layout.size = 1;
    while (layout.size < larger) layout.size *= 2;
    layout.rowOffset = (layout.size - height) / 2;
    layout.colOffset = (layout.size - width) / 2;
    return layout;
}

std::int64_t ClassicMemoryNeed(std::int32_t width, std::int32_t height)
{
    const std::int64_t size = LayoutFor(width, height).size;
    if (size > (std::int64_t{1} << 29)) return std::numeric_limits<std::int64_t>::max();
    return 3 * std::int64_t{sizeof(double)} * size * size;
}

void ScaleIntoPlanes(double rootTwo, double& lStar, double& aStar, double& bStar)
{
    lStar = ((lStar - 50) * 8) / rootTwo;
    aStar = (aStar * 8) / rootTwo;
    bStar = (bStar * 8) / rootTwo;
}

void ScaleOutOfPlanes(double rootTwo, double& lStar, double& aStar, double& bStar)
{
    lStar = ((rootTwo * lStar) / 8) + 50;
    aStar = (rootTwo * aStar) / 8;
    bStar = (rootTwo * bStar) / 8;
}

DenoiseOutcome ClassicDenoiseImage(const DenoiseSettings& settings, const DenoiseHooks& hooks,
                                   const BitmapInfoHeader* header, std::uint8_t* bits, const std::uint8_t* const* rows)
{
    const double rootTwo = NewtonSqrt(2.0);
    if (hooks.progress) hooks.progress(ProgressPhase::Starting, 0);
    DenoiseOutcome outcome;
    const std::int32_t width = header->biWidth, height = header->biHeight;
    const PlaneLayout layout = LayoutFor(width, height);
    Planes planes;
    // A side beyond 32 bits could not be had in any case.
    const std::int32_t size = static_cast<std::int32_t>(layout.size);
    if (width <= 0 || height <= 0 || layout.size > std::numeric_limits<std::int32_t>::max() ||
        !AllocatePlanes(size, planes))
        return outcome;
    Report(hooks, 1);
    WorkerTeam team(settings.threads);
    CopyIn(team, settings, rows, width, height, layout, rootTwo, planes);
    Report(hooks, 10);
    if (!Denoise(team, settings, hooks, planes, size, layout, width, height)) return outcome;
    CopyOut(team, settings, planes, width, height, layout, rootTwo, bits);
    Report(hooks, 90);
    if (hooks.resultReady) hooks.resultReady();
    std::thread releasing = ReleaseBeside(planes);
    outcome.figures = MeasureQuality(team, header, bits, rows);
    if (releasing.joinable()) releasing.join();
    Report(hooks, 100);
    outcome.done = true;
    return outcome;
}
