#include "engine/quality.h"

#include <cmath>

#include "engine/newton_sqrt.h"
#include "engine/settings.h"

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

bool MeasureQuality(const BitmapInfoHeader* header, const std::uint8_t* bits,
                    const std::uint8_t* const* rows)
{
    const std::int32_t width = header->biWidth, height = header->biHeight;
    const double pixels = static_cast<double>(std::int64_t{width} * height);
    const std::int64_t stride = RowStride(width);
    Extremes sourceY, sourceCr, sourceCb, resultY, resultCr, resultCb;
    double errorY = 0, errorCr = 0, errorCb = 0;
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* source = rows[y];
        const std::uint8_t* result = bits + y * stride;
        for (std::int32_t x = 0; x < width; ++x, source += 3, result += 3) {
            const LumaChroma s = ToLumaChroma(source), r = ToLumaChroma(result);
            Widen(s.y, sourceY);
            Widen(s.cr, sourceCr);
            Widen(s.cb, sourceCb);
            Widen(r.y, resultY);
            Widen(r.cr, resultCr);
            Widen(r.cb, resultCb);
            const double dy = s.y - r.y, dcr = s.cr - r.cr, dcb = s.cb - r.cb;
            errorY = (dy * dy) / pixels + errorY;
            errorCr = (dcr * dcr) / pixels + errorCr;
            errorCb = (dcb * dcb) / pixels + errorCb;
        }
    }
    const double rangeY = MeanRange(sourceY, resultY);
    const double rangeCr = MeanRange(sourceCr, resultCr), rangeCb = MeanRange(sourceCb, resultCb);
    const double rangeC = NewtonSqrt(rangeCr * rangeCr + rangeCb * rangeCb);
    const double errorC = NewtonSqrt(errorCr * errorCr + errorCb * errorCb);
    lumaSnr = QualityFigure(10 * std::log(rangeY / errorY));
    chromaSnr = QualityFigure(10 * std::log(rangeC / errorC));
    return true;
}
