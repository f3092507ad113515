#include "colour/hsv.h"

#include <cmath>
#include <utility>

bool SortThree(float a, float b, float c, float sorted[3])
{
    if (a > b) std::swap(a, b);
    if (b > c) std::swap(b, c);
    if (a > b) std::swap(a, b);
    sorted[0] = a;
    sorted[1] = b;
    sorted[2] = c;
    return true;
}

bool RgbToHsv(int red, int green, int blue, float& hue, float& saturation, float& value)
{
    const float r = static_cast<float>(red & 0xFF);
    const float g = static_cast<float>(green & 0xFF);
    const float b = static_cast<float>(blue & 0xFF);
    float sorted[3];
    SortThree(r, g, b, sorted);
    const float min = sorted[0];
    const float max = sorted[2];
    // The added 1 keeps every divisor positive; it also keeps each hue just short of the next
    // sixth (yellow comes out at 59 degrees).
    const float d = max - min + 1.0f;

    float h;
    if (r == max) {
        h = g < b ? (r - b) / d * 60.0f + 300.0f : (g - b) / d * 60.0f;
    } else if (g == max) {
        h = (b - r) / d * 60.0f + 120.0f;
    } else {
        h = (r - g) / d * 60.0f + 240.0f;
    }
    hue = std::floor(h);
    saturation = std::ceil((max - min) / (max + 1.0f) * 100.0f);
    value = std::ceil(max * 0.3921f);
    return true;
}

std::uint8_t FractionToByte(float fraction)
{
    const float w = fraction * 255.0f;
    if (w > 255.0f) return 255;
    if (w < 0.0f) return 0;
    return static_cast<std::uint8_t>(w);
}

bool HsvToRgb(float hue, float saturation, float value, std::uint8_t* red, std::uint8_t* green,
              std::uint8_t* blue)
{
    const float H = hue > 359.0f ? 359.0f : (hue < 0.0f ? 0.0f : hue);
    const float S = saturation > 1.0f ? 1.0f : (saturation < 0.0f ? 0.0f : saturation);
    const float V = value > 1.0f ? 1.0f : (value < 0.0f ? 0.0f : value);

    float r = 0.0f, g = 0.0f, b = 0.0f;
    if (V == 0.0f) {
        // black whatever the hue and saturation
    } else if (S == 0.0f) {
        r = g = b = V;
    } else {
        const float h = H / 60.0f;
        const float i = std::floor(h);
        const float f = h - i;
        const float p = (1.0f - S) * V;
        const float q = (1.0f - S * f) * V;
        const float t = (1.0f - (1.0f - f) * S) * V;
        switch (static_cast<int>(i)) {
        case 0: r = V; g = t; b = p; break;
        case 1: r = q; g = V; b = p; break;
        case 2: r = p; g = V; b = t; break;
        case 3: r = p; g = q; b = V; break;
        case 4: r = t; g = p; b = V; break;
        case 5: r = V; g = p; b = q; break;
        default: break;  // unreachable: the clamp keeps the hue below 360
        }
    }
    *red = FractionToByte(r);
    *green = FractionToByte(g);
    *blue = FractionToByte(b);
    return true;
}
