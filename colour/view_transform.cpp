#include "colour/view_transform.h"

#include <cstdlib>

#include "colour/hsv.h"
#include "colour/lab.h"

namespace {

// The colour-difference matrices of the luma/chroma views, in single precision as the views
// have always computed them. The YIQ inverse is used as stored, not derived from the forward one.
constexpr float kForwardYcbcr[3][3] = {
    {0.299f, 0.587f, 0.114f},
    {-0.1687f, -0.3313f, 0.5f},
    {0.5f, -0.4187f, -0.0813f},
};
constexpr float kInverseYcbcr[3][3] = {
    {1.0f, 0.0f, 1.402f},
    {1.0f, -0.3441f, -0.7141f},
    {1.0f, 1.7722f, 0.0f},
};
constexpr float kForwardYiq[3][3] = {
    {0.299f, 0.587f, 0.114f},
    {0.596f, -0.275f, -0.321f},
    {0.212f, -0.528f, 0.311f},
};
constexpr float kInverseYiq[3][3] = {
    {1.0031f, 0.9548f, 0.6179f},
    {0.9968f, -0.2707f, -0.6448f},
    {1.0085f, -1.1105f, 1.6996f},
};

struct Pixel {
    std::uint8_t r, g, b;
};

void Multiply(const float m[3][3], const float in[3], float out[3])
{
    for (int row = 0; row < 3; ++row) out[row] = m[row][0] * in[0] + m[row][1] * in[1] + m[row][2] * in[2];
}

// One component of a luma/chroma model shown alone: the forward matrix gives all three, the kept
// one stays, luma becomes mid-grey 0.5 unless it is the one kept, and the other chroma become 0.
Pixel ShowComponent(const float forward[3][3], const float inverse[3][3], int kept, Pixel source)
{
    const float rgb[3] = {source.r / 255.0f, source.g / 255.0f, source.b / 255.0f};
    float component[3];
    Multiply(forward, rgb, component);
    for (int i = 0; i < 3; ++i) {
        if (i != kept) component[i] = i == 0 ? 0.5f : 0.0f;
    }
    float out[3];
    Multiply(inverse, component, out);
    return {FractionToByte(out[0]), FractionToByte(out[1]), FractionToByte(out[2])};
}

Pixel ShowHue(Pixel source)
{
    float h, s, v;
    RgbToHsv(source.r, source.g, source.b, h, s, v);
    const float level = s != 0.0f && v != 0.0f ? 1.0f : 0.0f;
    Pixel out;
    HsvToRgb(h, level, level, &out.r, &out.g, &out.b);
    return out;
}

Pixel ShowSaturation(Pixel source)
{
    float h, s, v;
    RgbToHsv(source.r, source.g, source.b, h, s, v);
    Pixel out;
    HsvToRgb(0.0f, 0.0f, s / 100.0f / 2.0f + 0.25f, &out.r, &out.g, &out.b);
    return out;
}

// One Lab axis shown alone: the others become neutral (a* and b* 0, L* mid-grey 50). The
// conversions take the caller's colour settings, so the views follow the dialog's.
Pixel ShowLabAxis(const ColourSettings& colour, int kept, Pixel source)
{
    double lab[3];
    RgbToLab(colour.toneMode, source.r, source.g, source.b, lab[0], lab[1], lab[2]);
    for (int i = 0; i < 3; ++i) {
        if (i != kept) lab[i] = i == 0 ? 50.0 : 0.0;
    }
    Pixel out;
    LabToRgb(colour.rgbCorrection != 0, lab[0], lab[1], lab[2], out.r, out.g, out.b);
    return out;
}

std::uint8_t Difference(std::uint8_t a, std::uint8_t b)
{
    return static_cast<std::uint8_t>(std::abs(int{a} - int{b}));
}

// The view of one pixel; shown holds the working pixel currently at the same place.
bool ViewPixel(std::int8_t viewMode, const ColourSettings& colour, Pixel source, Pixel shown, Pixel& out)
{
    switch (viewMode) {
    case kViewHue: out = ShowHue(source); return true;
    case kViewSaturation: out = ShowSaturation(source); return true;
    case kViewLuma: out = ShowComponent(kForwardYcbcr, kInverseYcbcr, 0, source); return true;
    case kViewBlueDifference: out = ShowComponent(kForwardYcbcr, kInverseYcbcr, 1, source); return true;
    case kViewRedDifference: out = ShowComponent(kForwardYcbcr, kInverseYcbcr, 2, source); return true;
    case kViewInPhase: out = ShowComponent(kForwardYiq, kInverseYiq, 1, source); return true;
    case kViewQuadrature: out = ShowComponent(kForwardYiq, kInverseYiq, 2, source); return true;
    case kViewLightness: out = ShowLabAxis(colour, 0, source); return true;
    case kViewRedGreen: out = ShowLabAxis(colour, 1, source); return true;
    case kViewYellowBlue: out = ShowLabAxis(colour, 2, source); return true;
    case kViewNegative:
        out = {static_cast<std::uint8_t>(~source.r), static_cast<std::uint8_t>(~source.g),
               static_cast<std::uint8_t>(~source.b)};
        return true;
    case kViewSource: out = source; return true;
    case kViewDifference:
        out = {Difference(source.r, shown.r), Difference(source.g, shown.g), Difference(source.b, shown.b)};
        return true;
    default: return false;
    }
}

}  // namespace

bool ApplyViewTransform(std::int8_t viewMode, const ColourSettings& colour, const BitmapInfoHeader* header,
                        std::uint8_t* bits, std::uint8_t* const* rows)
{
    const std::int32_t width = header->biWidth;
    const std::int32_t height = header->biHeight;
    const std::int32_t padding = width % 4;
    std::uint8_t* o = bits;
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = rows[y];
        for (std::int32_t k = 0; k < width; ++k, row += 3, o += 3) {
            const Pixel source = {row[2], row[1], row[0]};
            const Pixel shown = {o[2], o[1], o[0]};
            Pixel out;
            if (!ViewPixel(viewMode, colour, source, shown, out)) return true;  // no such view: nothing to do
            o[2] = out.r;
            o[1] = out.g;
            o[0] = out.b;
        }
        o += padding;
    }
    return true;
}
