#include "engine/quality.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <memory>
#include <new>

#include "engine/newton_sqrt.h"
#include "engine/parallel_for.h"

namespace {

// The BT.601 weights as the nearest single-precision numbers, used in double arithmetic.
constexpr double yr = 0.257f, yg = 0.504f, yb = 0.098f;
constexpr double crr = 0.439f, crg = 0.368f, crb = 0.071f;
constexpr double cbr = 0.148f, cbg = 0.291f, cbb = 0.439f;

struct LumaChroma {
    double y, cr, cb;
};

LumaChroma ToLumaChroma(const std::uint8_t* pixel)
{
    const double r = pixel[2], g = pixel[1], b = pixel[0];
    return {((yr * r + yg * g) + yb * b) + 16, (crr * r - crg * g) - crb * b,
            (-cbr * r - cbg * g) + cbb * b};
}

// Extremes of one component of one picture; maxima start at 0 and minima at 255, so a component
// that is negative everywhere keeps the maximum 0.
struct Extremes {
    double max = 0.0, min = 255.0;
};

void Widen(double v, Extremes& e)
{
    if (v > e.max) e.max = v;
    if (v < e.min) e.min = v;
}

struct PictureExtremes {
    Extremes sourceY, sourceCr, sourceCb, resultY, resultCr, resultCb;
};

void Merge(const PictureExtremes& part, PictureExtremes& all)
{
    const auto merge = [](const Extremes& from, Extremes& into) {
        if (from.max > into.max) into.max = from.max;
        if (from.min < into.min) into.min = from.min;
    };
    merge(part.sourceY, all.sourceY);
    merge(part.sourceCr, all.sourceCr);
    merge(part.sourceCb, all.sourceCb);
    merge(part.resultY, all.resultY);
    merge(part.resultCr, all.resultCr);
    merge(part.resultCb, all.resultCb);
}

// Each pixel's squared differences divided by the pixel count, the terms of the mean squared errors.
struct PixelTerms {
    double y, cr, cb;
};

// The pixels whose terms are held at once (a few megabytes), and the share of one thread at a time.
constexpr std::int64_t bandPixels = 1 << 18;
constexpr int piecePixels = 1 << 12;

struct Pictures {
    const std::uint8_t* bits;
    const std::uint8_t* const* rows;
    std::int32_t width;
    std::int64_t stride;
    double pixels;
};

// Terms and extremes of the pixels [first, last) in picture order, row after row.
void TermsOfPixels(const Pictures& p, std::int64_t first, std::int64_t last, PixelTerms* terms,
                   PictureExtremes& e)
{
    std::int64_t y = first / p.width, x = first % p.width;
    const std::uint8_t* source = p.rows[y] + 3 * x;
    const std::uint8_t* result = p.bits + y * p.stride + 3 * x;
    for (std::int64_t i = first; i < last; ++i, ++terms) {
        const LumaChroma s = ToLumaChroma(source), r = ToLumaChroma(result);
        Widen(s.y, e.sourceY);
        Widen(s.cr, e.sourceCr);
        Widen(s.cb, e.sourceCb);
        Widen(r.y, e.resultY);
        Widen(r.cr, e.resultCr);
        Widen(r.cb, e.resultCb);
        const double dy = s.y - r.y, dcr = s.cr - r.cr, dcb = s.cb - r.cb;
        *terms = {(dy * dy) / p.pixels, (dcr * dcr) / p.pixels, (dcb * dcb) / p.pixels};
        if (++x < p.width) {
            source += 3;
            result += 3;
        } else if (i + 1 < last) {  // the working rows step over their padding
            x = 0;
            ++y;
            source = p.rows[y];
            result = p.bits + y * p.stride;
        }
    }
}

double MeanRange(const Extremes& source, const Extremes& result)
{
    return (source.max + result.max) / 2 - (source.min + result.min) / 2;
}

}  // namespace

float QualityFigure(double figure)
{
    const float f = static_cast<float>(figure);
    return f > 99.9f || f < 0.0f || std::isnan(f) ? 0.0f : f;
}

QualityFigures MeasureQuality(int threads, const BitmapInfoHeader* header, const std::uint8_t* bits,
                              const std::uint8_t* const* rows)
{
    const std::int32_t width = header->biWidth, height = header->biHeight;
    if (width <= 0 || height <= 0) return QualityFigures{};  // no pixels: nothing to measure
    const std::int64_t count = std::int64_t{width} * height;
    const Pictures pictures{bits, rows, width, RowStride(width), static_cast<double>(count)};
    // The terms of a band are computed on several threads; the error sums then add them in pixel
    // order, as their result depends on it. The extremes do not. The measurement ends a run whose
    // planes may have taken nearly all the memory a 32-bit program has: without room for a band it
    // goes pixel by pixel, which is slower but gives the same figures.
    std::int64_t bandLength = std::min(count, bandPixels);
    std::unique_ptr<PixelTerms[]> band(new (std::nothrow) PixelTerms[static_cast<std::size_t>(bandLength)]);
    PixelTerms onePixel;
    PixelTerms* terms = band ? band.get() : &onePixel;
    if (!band) bandLength = 1;
    std::array<PictureExtremes, maxEngineThreads> extremes;
    double errorY = 0, errorCr = 0, errorCb = 0;
    for (std::int64_t start = 0; start < count; start += bandLength) {
        const std::int64_t inBand = std::min(bandLength, count - start);
        const int pieces = static_cast<int>((inBand + piecePixels - 1) / piecePixels);
        ParallelFor(threads, pieces, 1, [&](int worker, int first, int last) {
            const std::int64_t from = std::int64_t{first} * piecePixels;
            const std::int64_t to = std::min(inBand, std::int64_t{last} * piecePixels);
            TermsOfPixels(pictures, start + from, start + to, terms + from, extremes[worker]);
        });
        for (std::int64_t i = 0; i < inBand; ++i) {
            errorY = terms[i].y + errorY;
            errorCr = terms[i].cr + errorCr;
            errorCb = terms[i].cb + errorCb;
        }
    }
    PictureExtremes all;
    for (const PictureExtremes& e : extremes) Merge(e, all);
    const double rangeY = MeanRange(all.sourceY, all.resultY);
    const double rangeCr = MeanRange(all.sourceCr, all.resultCr);
    const double rangeCb = MeanRange(all.sourceCb, all.resultCb);
    const double rangeC = NewtonSqrt(rangeCr * rangeCr + rangeCb * rangeCb);
    const double errorC = NewtonSqrt(errorCr * errorCr + errorCb * errorCb);
    QualityFigures figures;
    figures.lumaSnr = QualityFigure(10 * std::log(rangeY / errorY));
    figures.chromaSnr = QualityFigure(10 * std::log(rangeC / errorC));
    return figures;
}
