#include "ui/draw_helpers.h"

#include <cmath>
#include <cstdint>

#include "colour/hsv.h"
#include "ui/app_state.h"
#include "ui/preview_layout.h"
#include "ui/scoped_gdi.h"

namespace {

constexpr double pi = 3.14159265358979323846;

// The slider cache lives until the program exits; its main-window context marks it as made.
HWND sliderCacheOwner = nullptr;
HDC sliderCacheOwnerDc = nullptr;
OwnedMemoryDc sliderCache;

void ButtonFaceHsv(float& hue, float& saturation, float& value)
{
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    RgbToHsv(GetRValue(face), GetGValue(face), GetBValue(face), hue, saturation, value);
}

// A grey face has no hue of its own; the gradients then take blue.
float GradientHue()
{
    float hue, saturation, value;
    ButtonFaceHsv(hue, saturation, value);
    return hue == 0 ? 240.0f : hue;
}

void SetHsvPixel(HDC dc, int x, int y, float hue, float saturation, float value)
{
    std::uint8_t red, green, blue;
    HsvToRgb(hue, saturation, value, &red, &green, &blue);
    SetPixelV(dc, x, y, RGB(red, green, blue));
}

void MoveToQuarterCorner(float t, const RECT& area, int& cx, int& cy)
{
    if (t < 0.125f) cy = area.bottom;
    else if (t < 0.375f) cx = area.left;
    else if (t < 0.625f) cy = area.top;
    else if (t < 0.875f) cx = area.right;
    else cy = area.bottom;
}

// Where a fan point falls exactly on an axis, the matching side of the frame is drawn from it.
void DrawStraightEdge(HDC dc, const RECT& area, int cx, int cy, int dx, int dy, COLORREF colour)
{
    int w = area.right - area.left;
    int h = area.bottom - area.top;
    if (dx == 0 && dy < 0 && cx == area.left) {
        for (int k = w - 1; k >= 0; --k) SetPixelV(dc, cx + dx + k, cy + dy, colour);
    } else if (dx == 0 && dy > 0 && cx == area.right) {
        for (int k = w - 1; k >= 0; --k) SetPixelV(dc, cx + dx - k, cy + dy, colour);
    } else if (dy == 0 && dx > 0 && cy == area.top) {
        for (int k = h - 1; k >= 0; --k) SetPixelV(dc, cx + dx, cy + dy + k, colour);
    } else if (dy == 0 && dx < 0 && cy == area.bottom) {
        for (int k = h - 1; k >= 0; --k) SetPixelV(dc, cx + dx, cy + dy - k, colour);
    }
}

// Draws the track with its frame into the cache, laid out as the dialog's slider block, on the
// dialog's background colour. Drawing off-screen keeps the cache clean even when another
// window covers the dialog at the moment of the first draw.
void MakeSliderCache()
{
    sliderCacheOwner = mainWindow;
    sliderCacheOwnerDc = GetDC(sliderCacheOwner);
    sliderCache.Make(sliderCacheOwnerDc, CreateCompatibleBitmap(sliderCacheOwnerDc, 256, 256));
    const HDC sliderCacheDc = sliderCache;

    SetViewportOrgEx(sliderCacheDc, -sliderBlock.left, -sliderBlock.top, nullptr);
    FillRect(sliderCacheDc, &sliderBlock, GetSysColorBrush(COLOR_BTNFACE));

    RECT frame = sliderTrack;
    frame.top += 1;
    DrawBevelFrame(sliderCacheDc, frame, 1.0f, 4.0f, 0.1f);

    float hue = GradientHue();
    float saturationStep = 1.0f / (sliderTrack.right - sliderTrack.left);
    float valueStep = 1.0f / (sliderTrack.bottom - sliderTrack.top);
    float saturation = 1.0f;
    for (int x = sliderTrack.left; x < sliderTrack.right; ++x) {
        float value = 0.0f;
        for (int y = sliderTrack.top + 1; y <= sliderTrack.bottom; ++y) {
            SetHsvPixel(sliderCacheDc, x, y, hue, saturation, value);
            value += valueStep;
        }
        saturation -= saturationStep;
    }
    SetViewportOrgEx(sliderCacheDc, 0, 0, nullptr);
}

}  // namespace

void DrawBevelFrame(HDC dc, const RECT& area, float depth, float radius, float contrast)
{
    int cx = area.right;
    int cy = area.bottom;
    for (float t = 0.0f; t <= 1.0f; t += 0.05f) {
        MoveToQuarterCorner(t, area, cx, cy);
        for (float s = 0.0f; s <= 1.0f; s += 0.1f) {
            float hue, saturation, value;
            ButtonFaceHsv(hue, saturation, value);
            float s1 = saturation / 100.0f;
            float v1 = value / 100.0f;
            v1 = static_cast<float>(v1 + depth * contrast * std::sin(2.0 * pi * (t - 0.5) - pi / 2.0) *
                                             std::sin(s * pi / 2.0));
            std::uint8_t red, green, blue;
            HsvToRgb(hue, s1, v1, &red, &green, &blue);
            COLORREF colour = RGB(red, green, blue);

            float theta = static_cast<float>(2.0 * pi * t + pi / 4.0);
            int dx = static_cast<int>(std::cos(static_cast<double>(theta)) * (s * radius));
            int dy = static_cast<int>(std::sin(static_cast<double>(theta)) * (s * radius));
            SetPixelV(dc, cx + dx, cy + dy, colour);
            DrawStraightEdge(dc, area, cx, cy, dx, dy, colour);
        }
    }
}

void DrawStrengthSlider(HDC dialogDc, int strength)
{
    if (!sliderCacheOwnerDc) MakeSliderCache();
    const int width = sliderBlock.right - sliderBlock.left;
    const int height = sliderBlock.bottom - sliderBlock.top;
    BitBlt(dialogDc, sliderBlock.left, sliderBlock.top, width, height, sliderCache, 0, 0, SRCCOPY);

    // Three copies draw the knob with its white pixels left transparent.
    int x = sliderTrack.left + static_cast<int>((strength - 1) * 1.96);
    int y = sliderBlock.top;
    const int w = knobSize.cx;
    const int h = knobSize.cy;
    BitBlt(dialogDc, x, y, w, h, SkinAtlas, knobPicture.x, knobPicture.y, SRCINVERT);
    BitBlt(dialogDc, x, y, w, h, SkinAtlasMask, knobPicture.x, knobPicture.y, SRCAND);
    BitBlt(dialogDc, x, y, w, h, SkinAtlas, knobPicture.x, knobPicture.y, SRCINVERT);
}

void ReleaseSliderCache()
{
    if (!sliderCacheOwnerDc) return;
    sliderCache.Reset();
    ReleaseDC(sliderCacheOwner, sliderCacheOwnerDc);
    sliderCacheOwnerDc = nullptr;
    sliderCacheOwner = nullptr;
}

void DrawGauge(HDC dc, const RECT& area, int percent)
{
    float hue = GradientHue();
    float filledHue = hue - 180.0f;
    if (filledHue < 0) filledHue += 360.0f;

    // The factor is a single-precision 1.28 but the product is taken wider, so 100 % fills 127
    // columns beyond the first, not 128.
    int fill = static_cast<int>(percent * static_cast<double>(1.28f));
    float saturationStep = 1.0f / (area.right - area.left);
    float valueStep = 1.0f / (area.bottom - area.top);

    float saturation = 1.0f;
    for (int x = area.left; x <= area.right; ++x) {
        float value = 0.0f;
        for (int y = area.top; y <= area.bottom; ++y) {
            if (x - area.left <= fill) SetHsvPixel(dc, x, y, filledHue, 1.0f, 1.0f);
            else SetHsvPixel(dc, x, y, hue, saturation, value);
            value += valueStep;
        }
        saturation -= saturationStep;
    }
}
