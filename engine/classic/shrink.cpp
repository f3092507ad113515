#include "engine/classic/shrink.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "engine/newton_sqrt.h"
#include "engine/parallel_for.h"
#include "engine/wide_loops.h"
#include "support/sign_bits.h"

namespace {

struct Planes {
    CoefficientPlane* plane[3];
};

double PixelCount(std::int32_t width, std::int32_t height)
{
    return static_cast<double>(height) * static_cast<double>(width);
}

// Sums of magnitudes over the square block [first, end) x [first, end) of count planes, rows and
// columns both ascending or both descending. Each plane's sum adds one magnitude at a time in that
// order, so it is one long chain of dependent additions; running several planes' chains in the
// same loop lets the processor overlap them without touching the order within any of them. Only
// the support is read: elsewhere each magnitude is 0, and s + 0 is s for every sum s >= 0.
template <int count>
void SumBlock(const CoefficientPlane* const* planes, std::int32_t first, std::int32_t end, bool descending,
              const CoefficientSupport& support, double* sums)
{
    double sum[count] = {};
    const auto spans = static_cast<std::int32_t>(support.columns.size());
    for (std::int32_t step = 0; step < end - first; ++step) {
        const std::int32_t i = descending ? end - 1 - step : first + step;
        if (!support.rows[static_cast<std::size_t>(i)]) continue;
        const double* row[count];
        for (int c = 0; c < count; ++c) row[c] = PlaneRow(*planes[c], i);
        for (std::int32_t s = 0; s < spans; ++s) {
            const RowSpan span = support.columns[static_cast<std::size_t>(descending ? spans - 1 - s : s)];
            const std::int32_t low = std::max(first, span.first), high = std::min(end, span.last);
            if (descending) {
                for (std::int32_t j = high - 1; j >= low; --j)
                    for (int c = 0; c < count; ++c) sum[c] = Magnitude(row[c][j]) + sum[c];
            } else {
                for (std::int32_t j = low; j < high; ++j)
                    for (int c = 0; c < count; ++c) sum[c] = Magnitude(row[c][j]) + sum[c];
            }
        }
    }
    for (int c = 0; c < count; ++c) sums[c] = sum[c];
}

// The block sums of the three planes, spread over as many threads as there are (up to three);
// planes sharing a thread share its loop.
void SumBlocks(WorkerTeam& team, const Planes& planes, std::int32_t first, std::int32_t end, bool descending,
               const CoefficientSupport& support, double* sums)
{
    const std::int64_t elements = std::int64_t{end - first} * (end - first);
    const int groups = elements < elementsPerChunk ? 1 : std::min(team.size, 3);
    ParallelFor(team, groups, 1, [&](int, int group, int) {
        // One group: all three planes; two: L and a, then b; three: one plane each.
        const int start = groups == 3 ? group : group * 2;
        const int count = groups == 1 ? 3 : groups == 2 && group == 0 ? 2 : 1;
        const CoefficientPlane* const chosen[3] = {planes.plane[start], planes.plane[std::min(start + 1, 2)],
                                                   planes.plane[2]};
        if (count == 3) SumBlock<3>(chosen, first, end, descending, support, sums + start);
        if (count == 2) SumBlock<2>(chosen, first, end, descending, support, sums + start);
        if (count == 1) SumBlock<1>(chosen, first, end, descending, support, sums + start);
    });
}

// Calls change(row, count) for each span of the support in row i of a plane.
template <class Change>
void EachSpan(double* row, std::int32_t i, const CoefficientSupport& support, const Change& change)
{
    if (!support.rows[static_cast<std::size_t>(i)]) return;
    for (const RowSpan span : support.columns) change(row + span.first, span.last - span.first);
}

// Calls change(c, values, count) for the support in every row of the three planes, c being the
// plane's index; the changes keep a zero of either sign as it is, so the rest needs none.
template <class Change>
void EachRow(WorkerTeam& team, const Planes& planes, std::int32_t size, const CoefficientSupport& support,
             const Change& change)
{
    ParallelFor(team, 3 * size, RowsPerChunk(size), [&](int, int first, int last) {
        for (int r = first; r < last; ++r) {
            const int c = r / size;
            EachSpan(PlaneRow(*planes.plane[c], r % size), r % size, support,
                     [&](double* values, std::int32_t count) { change(c, values, count); });
        }
    });
}

// yes or no, picked by masking their bits rather than by a branch: the coefficients' signs are
// noise, so a branch would be mispredicted half the time.
double Select(bool condition, double yes, double no)
{
    const std::int64_t mask = condition ? -1 : 0;
    return std::bit_cast<double>((std::bit_cast<std::int64_t>(yes) & mask) | (std::bit_cast<std::int64_t>(no) & ~mask));
}

// Clearing multiplies by zero, keeping the sign of the coefficient in its zero. A coefficient the
// first threshold clears stays the same zero through the second.
QV_LOOP_BODY void ClipRowBody(double tLow, double tHigh, std::int32_t size, double* row)
{
    for (std::int32_t j = 0; j < size; ++j) {
        const double x = row[j];
        const double magnitude = Magnitude(x);
        const double cleared = x * 0.0;
        row[j] = Select(magnitude > tLow, Select(magnitude > tHigh, x, cleared), cleared);
    }
}
QV_WIDE_LOOP(ClipRow, (double tLow, double tHigh, std::int32_t size, double* row),
             (tLow, tHigh, size, row))

double SoftThreshold(double t, double x)
{
    const double shrunk = Select(x >= 0.0, x - t, x + t);
    return Select(Magnitude(x) > t, shrunk, x * 0.0);
}

QV_LOOP_BODY void SoftThresholdRowBody(double t, std::int32_t size, double* row)
{
    for (std::int32_t j = 0; j < size; ++j) row[j] = SoftThreshold(t, row[j]);
}
QV_WIDE_LOOP(SoftThresholdRow, (double t, std::int32_t size, double* row), (t, size, row))

// trunc(q), the same double for every q, without the branches of the library's version on
// processors without a rounding instruction (SSE2): below 2^52, adding and removing 2^52 rounds to
// the nearest whole number, which is then stepped down if it went up.
double TruncateTowardZero(double q)
{
    constexpr double wholeFromHere = 4503599627370496.0;  // 2^52: every double this large is whole
    const double magnitude = Magnitude(q);
    const double nearest = (magnitude + wholeFromHere) - wholeFromHere;
    const double below = Select(nearest > magnitude, nearest - 1.0, nearest);
    return WithSignOf(Select(magnitude < wholeFromHere, below, magnitude), q);
}

QV_LOOP_BODY void QuantiseRowBody(double step, std::int32_t size, double* row)
{
    for (std::int32_t j = 0; j < size; ++j) row[j] = TruncateTowardZero(row[j] / step) * step;
}
QV_WIDE_LOOP(QuantiseRow, (double step, std::int32_t size, double* row), (step, size, row))

QV_LOOP_BODY void ScaleRowBody(double k, std::int32_t size, double* row)
{
    for (std::int32_t j = 0; j < size; ++j) row[j] = k * row[j];
}
QV_WIDE_LOOP(ScaleRow, (double k, std::int32_t size, double* row), (k, size, row))

// Soft threshold of the whole L plane in ascending order, summing the new magnitudes on the way:
// the correction needs that sum. Each row is thresholded by the wide loop first and summed while
// it is still in the cache, which saves reading the plane again and keeps the serial chain free of
// the threshold's work (64-bit masks, slow in the 32-bit program's general registers).
double SoftThresholdAndSum(double t, CoefficientPlane& plane, std::int32_t size, const CoefficientSupport& support)
{
    double sum = 0.0;
    for (std::int32_t i = 0; i < size; ++i) {
        EachSpan(PlaneRow(plane, i), i, support, [&](double* values, std::int32_t count) {
            SoftThresholdRow(t, count, values);
            for (std::int32_t j = 0; j < count; ++j) sum = Magnitude(values[j]) + sum;
        });
    }
    return sum;
}

}  // namespace

void ShrinkStage1(WorkerTeam& team, CoefficientPlane& planeL, CoefficientPlane& planeA, CoefficientPlane& planeB,
                  std::int32_t size, int coarseSize, std::int32_t width, std::int32_t height,
                  const CoefficientSupport& support)
{
    const Planes planes{{&planeL, &planeA, &planeB}};
    const double pixels = PixelCount(width, height);
    double coarse[3];
    double fine[3];
    SumBlocks(team, planes, 0, coarseSize, false, support, coarse);
    SumBlocks(team, planes, size / 2, size, false, support, fine);
    double low[3];
    double high[3];
    for (int c = 0; c < 3; ++c) {
        low[c] = NewtonSqrt(coarse[c] / pixels);
        high[c] = NewtonSqrt(fine[c] / pixels);
    }
    EachRow(team, planes, size, support,
            [&](int c, double* values, std::int32_t count) { ClipRow(low[c], high[c], count, values); });
}

void ShrinkStages2And3(WorkerTeam& team, const DenoiseSettings& settings, CoefficientPlane& planeL,
                       CoefficientPlane& planeA, CoefficientPlane& planeB, std::int32_t size, int, std::int32_t width,
                       std::int32_t height, const CoefficientSupport& support)
{
    const Planes planes{{&planeL, &planeA, &planeB}};
    const double pixels = PixelCount(width, height);
    const int strength = settings.filterStrength;
    const bool correctBrightness = settings.brightnessCorrection != 0;

    double sum[3];
    SumBlocks(team, planes, 0, size, true, support, sum);
    double threshold[3];
    for (int c = 0; c < 3; ++c) {
        threshold[c] = NewtonSqrt(sum[c] / pixels);
        if (strength != 50) {
            // Above the middle the factor doubles: 51 gives 2.04, not 1.02.
            double w = strength / 50.0;
            if (strength > 50) w = w + w;
            threshold[c] = w * threshold[c];
        }
    }
    if (!correctBrightness) {
        EachRow(team, planes, size, support,
                [&](int c, double* values, std::int32_t count) { SoftThresholdRow(threshold[c], count, values); });
        return;
    }

    // Item 0 is the whole L plane, serial because of its sum; the a and b rows follow.
    double remaining = 0.0;
    ParallelFor(team, 1 + 2 * size, RowsPerChunk(size), [&](int, int first, int last) {
        for (int item = first; item < last; ++item) {
            if (item == 0) {
                remaining = SoftThresholdAndSum(threshold[0], planeL, size, support);
                continue;
            }
            const int c = 1 + (item - 1) / size, i = (item - 1) % size;
            EachSpan(PlaneRow(*planes.plane[c], i), i, support,
                     [&](double* values, std::int32_t count) { SoftThresholdRow(threshold[c], count, values); });
        }
    });
    // A plane the threshold cleared completely has nothing to restore (and no ratio).
    if (!(remaining > 0.0)) return;
    const double k = NewtonSqrt(sum[0] / remaining);
    ParallelFor(team, size, RowsPerChunk(size), [&](int, int first, int last) {
        for (int i = first; i < last; ++i)
            EachSpan(PlaneRow(planeL, i), i, support,
                     [&](double* values, std::int32_t count) { ScaleRow(k, count, values); });
    });
}

void ShrinkStage4(WorkerTeam& team, CoefficientPlane& planeL, CoefficientPlane& planeA, CoefficientPlane& planeB,
                  std::int32_t size, int, std::int32_t width, std::int32_t height, const CoefficientSupport& support)
{
    const Planes planes{{&planeL, &planeA, &planeB}};
    const double pixels = PixelCount(width, height);
    double sum[3];
    SumBlocks(team, planes, 0, size, true, support, sum);
    double step[3];
    for (int c = 0; c < 3; ++c) step[c] = NewtonSqrt(sum[c] / pixels);
    EachRow(team, planes, size, support, [&](int c, double* values, std::int32_t count) {
        // A zero step leaves only zero as a multiple. It arises when the plane is zero (which
        // stays as it is) or its magnitudes are so small that their mean underflows.
        if (step[c] > 0.0)
            QuantiseRow(step[c], count, values);
        else
            ScaleRow(0.0, count, values);
    });
}

void ShrinkCoefficients(const DenoiseSettings& settings, CoefficientPlane& planeL, CoefficientPlane& planeA,
                        CoefficientPlane& planeB, std::int32_t size, int coarseSize, std::int32_t width,
                        std::int32_t height)
{
    WorkerTeam team(settings.threads);
    const CoefficientSupport all = WholeSquare(size);
    ShrinkStage1(team, planeL, planeA, planeB, size, coarseSize, width, height, all);
    ShrinkStages2And3(team, settings, planeL, planeA, planeB, size, coarseSize, width, height, all);
    ShrinkStage4(team, planeL, planeA, planeB, size, coarseSize, width, height, all);
}
