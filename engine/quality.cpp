#include "engine/quality.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <memory>
#include <new>

#include "colour/lanes.h"
#include "engine/newton_sqrt.h"
#include "engine/parallel_for.h"
#include "engine/wide_loops.h"

namespace {

// The BT.601 weights as the nearest single-precision numbers, used in double arithmetic.
constexpr double yr = 0.257f, yg = 0.504f, yb = 0.098f;
constexpr double crr = 0.439f, crg = 0.368f, crb = 0.071f;
constexpr double cbr = 0.148f, cbg = 0.291f, cbb = 0.439f;

// Extremes of one component of one picture; maxima start at 0 and minima at 255, so a component
// that is negative everywhere keeps the maximum 0. V is double, or Lanes for four pixels' worth
// that are merged at the end of a row (the extremes do not depend on the order of the pixels).
template <class V>
struct Extremes {
    V max = Splat<V>(0.0), min = Splat<V>(255.0);
};

template <class V>
QV_KERNEL void Widen(V v, Extremes<V>& e)
{
    e.max = Pick(v > e.max, v, e.max);
    e.min = Pick(v < e.min, v, e.min);
}

template <class V>
struct PictureExtremes {
    Extremes<V> sourceY, sourceCr, sourceCb, resultY, resultCr, resultCb;
};

// A part's extremes into the whole's; a part that saw no pixel changes nothing.
QV_KERNEL void Merge(const Extremes<double>& from, Extremes<double>& into)
{
    if (from.max > into.max) into.max = from.max;
    if (from.min < into.min) into.min = from.min;
}

QV_KERNEL void Merge(const Extremes<Lanes>& from, Extremes<double>& into)
{
    for (int k = 0; k < laneCount; ++k) Merge(Extremes<double>{from.max[k], from.min[k]}, into);
}

template <class V>
QV_KERNEL void Merge(const PictureExtremes<V>& part, PictureExtremes<double>& all)
{
    Merge(part.sourceY, all.sourceY);
    Merge(part.sourceCr, all.sourceCr);
    Merge(part.sourceCb, all.sourceCb);
    Merge(part.resultY, all.resultY);
    Merge(part.resultCr, all.resultCr);
    Merge(part.resultCb, all.resultCb);
}

// One channel of one pixel, or of four pixels, in blue, green, red order.
QV_KERNEL double Channel(const std::uint8_t* p, int channel) { return p[channel]; }
QV_KERNEL Lanes ChannelLanes(const std::uint8_t* p, int channel)
{
    using Samples = std::int32_t __attribute__((vector_size(16)));
    return __builtin_convertvector((Samples{p[channel], p[3 + channel], p[6 + channel], p[9 + channel]}), Lanes);
}

template <class V>
struct LumaChroma {
    V y, cr, cb;
};

template <class V>
QV_KERNEL LumaChroma<V> ToLumaChroma(V r, V g, V b)
{
    return {((yr * r + yg * g) + yb * b) + 16.0, (crr * r - crg * g) - crb * b,
            (-cbr * r - cbg * g) + cbb * b};
}

// Widens the extremes by one pixel (or four) of both pictures and gives its squared differences
// divided by the pixel count, the terms of the mean squared errors.
template <class V>
QV_KERNEL void Terms(LumaChroma<V> s, LumaChroma<V> r, double pixels, PictureExtremes<V>& e, V& y,
                     V& cr, V& cb)
{
    Widen(s.y, e.sourceY);
    Widen(s.cr, e.sourceCr);
    Widen(s.cb, e.sourceCb);
    Widen(r.y, e.resultY);
    Widen(r.cr, e.resultCr);
    Widen(r.cb, e.resultCb);
    const V dy = s.y - r.y, dcr = s.cr - r.cr, dcb = s.cb - r.cb;
    y = (dy * dy) / pixels;
    cr = (dcr * dcr) / pixels;
    cb = (dcb * dcb) / pixels;
}

// The terms of count pixels of one row, four at a time, then one by one.
QV_LOOP_BODY void TermsOfRowBody(const std::uint8_t* source, const std::uint8_t* result, int count,
                                 double pixels, double* termsY, double* termsCr, double* termsCb,
                                 PictureExtremes<double>& e)
{
    PictureExtremes<Lanes> lanes;
    int x = 0;
    for (; x + laneCount <= count; x += laneCount) {
        const std::uint8_t *s = source + 3 * x, *r = result + 3 * x;
        Lanes y, cr, cb;
        Terms(ToLumaChroma(ChannelLanes(s, 2), ChannelLanes(s, 1), ChannelLanes(s, 0)),
              ToLumaChroma(ChannelLanes(r, 2), ChannelLanes(r, 1), ChannelLanes(r, 0)), pixels,
              lanes, y, cr, cb);
        __builtin_memcpy(termsY + x, &y, sizeof y);
        __builtin_memcpy(termsCr + x, &cr, sizeof cr);
        __builtin_memcpy(termsCb + x, &cb, sizeof cb);
    }
    Merge(lanes, e);
    for (; x < count; ++x) {
        const std::uint8_t *s = source + 3 * x, *r = result + 3 * x;
        Terms(ToLumaChroma(Channel(s, 2), Channel(s, 1), Channel(s, 0)),
              ToLumaChroma(Channel(r, 2), Channel(r, 1), Channel(r, 0)), pixels, e, termsY[x],
              termsCr[x], termsCb[x]);
    }
}

QV_WIDE_LOOP(TermsOfRow,
             (const std::uint8_t* source, const std::uint8_t* result, int count, double pixels,
              double* termsY, double* termsCr, double* termsCb, PictureExtremes<double>& e),
             (source, result, count, pixels, termsY, termsCr, termsCb, e))

// The pixels of a band, whose terms are held at once (two bands, a few megabytes), and the share
// of one thread at a time.
constexpr std::int64_t bandPixels = 1 << 17;
constexpr int piecePixels = 1 << 12;

struct Pictures {
    const std::uint8_t* bits;
    const std::uint8_t* const* rows;
    std::int32_t width;
    std::int64_t stride;
    double pixels;
};

// Each component's terms of a band of pixels, in picture order.
struct BandTerms {
    double *y, *cr, *cb;
};

// Terms and extremes of the pixels [first, last) in picture order, row after row; the terms of
// pixel i go to index i - first.
void TermsOfPixels(const Pictures& p, std::int64_t first, std::int64_t last, BandTerms terms,
                   PictureExtremes<double>& e)
{
    for (std::int64_t i = first; i < last;) {
        const std::int64_t y = i / p.width, x = i % p.width;
        const int count = static_cast<int>(std::min<std::int64_t>(p.width - x, last - i));
        const std::int64_t at = i - first;
        TermsOfRow(p.rows[y] + 3 * x, p.bits + y * p.stride + 3 * x, count, p.pixels, terms.y + at,
                   terms.cr + at, terms.cb + at, e);
        i += count;
    }
}

struct ErrorSums {
    double y = 0, cr = 0, cb = 0;
};

// Adds the terms of count pixels to the error sums in pixel order, as their result depends on it.
void AddTerms(BandTerms terms, std::int64_t count, ErrorSums& sums)
{
    for (std::int64_t i = 0; i < count; ++i) {
        sums.y = terms.y[i] + sums.y;
        sums.cr = terms.cr[i] + sums.cr;
        sums.cb = terms.cb[i] + sums.cb;
    }
}

double MeanRange(const Extremes<double>& source, const Extremes<double>& result)
{
    return (source.max + result.max) / 2 - (source.min + result.min) / 2;
}

}  // namespace

float QualityFigure(double figure)
{
    const float f = static_cast<float>(figure);
    return f > 99.9f || f < 0.0f || std::isnan(f) ? 0.0f : f;
}

QualityFigures MeasureQuality(WorkerTeam& team, const BitmapInfoHeader* header, const std::uint8_t* bits,
                              const std::uint8_t* const* rows)
{
    const std::int32_t width = header->biWidth, height = header->biHeight;
    if (width <= 0 || height <= 0) return QualityFigures{};  // no pixels: nothing to measure
    const std::int64_t count = std::int64_t{width} * height;
    const Pictures pictures{bits, rows, width, RowStride(width), static_cast<double>(count)};
    // The terms of a band are computed on several threads; the error sums then add them in pixel
    // order, as their result depends on it, on one thread while the others compute the next
    // band's terms. The extremes do not depend on the order. The measurement ends a run whose
    // planes may have taken nearly all the memory a 32-bit program has: without room for the bands
    // it goes pixel by pixel on one thread, which is slower but gives the same figures.
    std::int64_t bandLength = std::min(count, bandPixels);
    std::unique_ptr<double[]> held(new (std::nothrow) double[6 * static_cast<std::size_t>(bandLength)]);
    double onePixel[6];
    if (!held) bandLength = 1;
    double* const terms = held ? held.get() : onePixel;
    const BandTerms bandTerms[2] = {{terms, terms + bandLength, terms + 2 * bandLength},
                                    {terms + 3 * bandLength, terms + 4 * bandLength, terms + 5 * bandLength}};
    std::array<PictureExtremes<double>, maxEngineThreads> extremes;
    ErrorSums errors;
    const std::int64_t bands = (count + bandLength - 1) / bandLength;
    // Step b computes band b's terms and sums band b - 1's.
    for (std::int64_t band = 0; band <= bands; ++band) {
        const std::int64_t start = band * bandLength;
        const std::int64_t inBand = band < bands ? std::min(bandLength, count - start) : 0;
        const std::int64_t inLast = band > 0 ? std::min(bandLength, count - (start - bandLength)) : 0;
        const BandTerms now = bandTerms[band % 2], last = bandTerms[(band + 1) % 2];
        const int pieces = static_cast<int>((inBand + piecePixels - 1) / piecePixels);
        // Item 0 is the sums, item k the piece k - 1; pixel by pixel the step stays on one thread.
        ParallelFor(team, pieces + 1, held ? 1 : 2, [&](int worker, int first, int end) {
            for (int item = first; item < end; ++item) {
                if (item == 0) {
                    AddTerms(last, inLast, errors);
                    continue;
                }
                const std::int64_t from = std::int64_t{item - 1} * piecePixels;
                const std::int64_t to = std::min(inBand, from + piecePixels);
                TermsOfPixels(pictures, start + from, start + to, {now.y + from, now.cr + from, now.cb + from},
                              extremes[worker]);
            }
        });
    }
    PictureExtremes<double> all;
    for (const PictureExtremes<double>& e : extremes) Merge(e, all);
    const double rangeY = MeanRange(all.sourceY, all.resultY);
    const double rangeCr = MeanRange(all.sourceCr, all.resultCr);
    const double rangeCb = MeanRange(all.sourceCb, all.resultCb);
    const double rangeC = NewtonSqrt(rangeCr * rangeCr + rangeCb * rangeCb);
    const double errorC = NewtonSqrt(errors.cr * errors.cr + errors.cb * errors.cb);
    QualityFigures figures;
    figures.lumaSnr = QualityFigure(10 * std::log(rangeY / errors.y));
    figures.chromaSnr = QualityFigure(10 * std::log(rangeC / errorC));
    return figures;
}
