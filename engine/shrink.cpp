#include "engine/shrink.h"

#include <cmath>

#include "engine/newton_sqrt.h"
#include "engine/parallel_for.h"
#include "engine/settings.h"

namespace {

// Rows are handed to threads in chunks of this many.
constexpr int rowsPerChunk = 16;

struct Planes {
    CoefficientPlane* plane[3];
};

// Sum of magnitudes over rows [rowFirst, rowEnd) and columns [columnFirst, columnEnd), both
// ascending. Every sum of the shrinkage adds one magnitude at a time in a fixed order.
double SumAscending(const CoefficientPlane& plane, std::int32_t rowFirst, std::int32_t rowEnd,
                    std::int32_t columnFirst, std::int32_t columnEnd)
{
    double sum = 0.0;
    for (std::int32_t i = rowFirst; i < rowEnd; ++i) {
        const double* row = PlaneRow(plane, i);
        for (std::int32_t j = columnFirst; j < columnEnd; ++j) sum = std::fabs(row[j]) + sum;
    }
    return sum;
}

// Sum of magnitudes over the whole plane, rows and columns both descending.
double SumDescending(const CoefficientPlane& plane, std::int32_t size)
{
    double sum = 0.0;
    for (std::int32_t i = size - 1; i >= 0; --i) {
        const double* row = PlaneRow(plane, i);
        for (std::int32_t j = size - 1; j >= 0; --j) sum = std::fabs(row[j]) + sum;
    }
    return sum;
}

// Calls measure(c) for the three planes, on separate threads: the planes' sums are independent
// even though each sum is serial.
template <class Measure>
void EachPlane(const Measure& measure)
{
    ParallelFor(3, 1, [&](int, int first, int last) {
        for (int c = first; c < last; ++c) measure(c);
    });
}

// Calls change(c, row) for every row of the three planes, c being the plane's index.
template <class Change>
void EachRow(const Planes& planes, std::int32_t size, const Change& change)
{
    ParallelFor(3 * size, rowsPerChunk, [&](int, int first, int last) {
        for (int r = first; r < last; ++r) change(r / size, PlaneRow(*planes.plane[r / size], r % size));
    });
}

double PixelCount(std::int32_t width, std::int32_t height)
{
    return static_cast<double>(height) * static_cast<double>(width);
}

}  // namespace

void ShrinkStage1(CoefficientPlane& planeL, CoefficientPlane& planeA, CoefficientPlane& planeB,
                  std::int32_t size, int coarseSize, std::int32_t width, std::int32_t height)
{
    const Planes planes{{&planeL, &planeA, &planeB}};
    const double pixels = PixelCount(width, height);
    const std::int32_t fine = size / 2;
    double low[3];
    double high[3];
    EachPlane([&](int c) {
        low[c] = NewtonSqrt(SumAscending(*planes.plane[c], 0, coarseSize, 0, coarseSize) / pixels);
        high[c] = NewtonSqrt(SumAscending(*planes.plane[c], fine, size, fine, size) / pixels);
    });
    EachRow(planes, size, [&](int c, double* row) {
        const double tLow = low[c];
        const double tHigh = high[c];
        for (std::int32_t j = 0; j < size; ++j) {
            double x = row[j];
            if (!(std::fabs(x) > tLow)) x = x * 0.0;
            if (!(std::fabs(x) > tHigh)) x = x * 0.0;
            row[j] = x;
        }
    });
}

void ShrinkStages2And3(CoefficientPlane& planeL, CoefficientPlane& planeA, CoefficientPlane& planeB,
                       std::int32_t size, int, std::int32_t width, std::int32_t height)
{
    const Planes planes{{&planeL, &planeA, &planeB}};
    const double pixels = PixelCount(width, height);
    const int strength = filterStrength;
    const bool correctBrightness = brightnessCorrection != 0;

    double sum[3];
    double threshold[3];
    EachPlane([&](int c) { sum[c] = SumDescending(*planes.plane[c], size); });
    for (int c = 0; c < 3; ++c) {
        threshold[c] = NewtonSqrt(sum[c] / pixels);
        if (strength != 50) {
            // Above the middle the factor doubles: 51 gives 2.04, not 1.02.
            double w = strength / 50.0;
            if (strength > 50) w = w + w;
            threshold[c] = w * threshold[c];
        }
    }
    EachRow(planes, size, [&](int c, double* row) {
        const double t = threshold[c];
        for (std::int32_t j = 0; j < size; ++j) {
            const double x = row[j];
            if (std::fabs(x) > t)
                row[j] = x >= 0.0 ? x - t : x + t;
            else
                row[j] = x * 0.0;
        }
    });

    if (!correctBrightness) return;
    const double remaining = SumAscending(planeL, 0, size, 0, size);
    // A plane the threshold cleared completely has nothing to restore (and no ratio).
    if (!(remaining > 0.0)) return;
    const double k = NewtonSqrt(sum[0] / remaining);
    ParallelFor(size, rowsPerChunk, [&](int, int first, int last) {
        for (int i = first; i < last; ++i) {
            double* row = PlaneRow(planeL, i);
            for (std::int32_t j = 0; j < size; ++j) row[j] = k * row[j];
        }
    });
}

void ShrinkStage4(CoefficientPlane& planeL, CoefficientPlane& planeA, CoefficientPlane& planeB,
                  std::int32_t size, int, std::int32_t width, std::int32_t height)
{
    const Planes planes{{&planeL, &planeA, &planeB}};
    const double pixels = PixelCount(width, height);
    double step[3];
    EachPlane([&](int c) { step[c] = NewtonSqrt(SumDescending(*planes.plane[c], size) / pixels); });
    EachRow(planes, size, [&](int c, double* row) {
        const double q = step[c];
        if (q > 0.0) {
            for (std::int32_t j = 0; j < size; ++j) row[j] = std::trunc(row[j] / q) * q;
        } else {
            // A zero step leaves only zero as a multiple; it arises when the plane is zero (which
            // stays as it is) or its magnitudes are so small that their mean underflows.
            for (std::int32_t j = 0; j < size; ++j) row[j] = row[j] * 0.0;
        }
    });
}

void ShrinkCoefficients(CoefficientPlane& planeL, CoefficientPlane& planeA, CoefficientPlane& planeB,
                        std::int32_t size, int coarseSize, std::int32_t width, std::int32_t height)
{
    ShrinkStage1(planeL, planeA, planeB, size, coarseSize, width, height);
    ShrinkStages2And3(planeL, planeA, planeB, size, coarseSize, width, height);
    ShrinkStage4(planeL, planeA, planeB, size, coarseSize, width, height);
}
