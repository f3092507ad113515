// The drawing helpers on real device contexts: a 24-bit DIB section read back byte by byte, with
// the button face set through the real system colour.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>

#include "ui/app_state.h"
#include "ui/draw_helpers.h"
#include "ui/preview_layout.h"
#include "window_test_support.h"

namespace {

constexpr COLORREF marker = RGB(255, 0, 255);  // no shade of any face colour used here

struct Canvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    std::uint8_t* pixels = nullptr;  // top-down, 4 bytes per pixel: blue, green, red, unused
    int width = 0;
};

Canvas MakeCanvas(int width, int height, COLORREF fill)
{
    Canvas canvas;
    void* bits = nullptr;
    canvas.dc = CreateCompatibleDC(nullptr);
    canvas.bitmap = window_test::CreateTopDownDib(width, height, &bits);
    SelectObject(canvas.dc, canvas.bitmap);
    canvas.pixels = static_cast<std::uint8_t*>(bits);
    canvas.width = width;
    RECT all = {0, 0, width, height};
    HBRUSH brush = CreateSolidBrush(fill);
    FillRect(canvas.dc, &all, brush);
    DeleteObject(brush);
    GdiFlush();
    return canvas;
}

void FreeCanvas(Canvas& canvas)
{
    DeleteDC(canvas.dc);
    DeleteObject(canvas.bitmap);
}

COLORREF PixelAt(const Canvas& canvas, int x, int y)
{
    GdiFlush();
    const std::uint8_t* p = canvas.pixels + 4 * (y * canvas.width + x);
    return RGB(p[2], p[1], p[0]);
}

bool IsGrey(COLORREF c, int level)
{
    return GetRValue(c) == level && GetGValue(c) == level && GetBValue(c) == level;
}

// A knob atlas of our own: white everywhere but a solid black 8 x 20 knob at (0, 16), so that the
// knob's place can be read without depending on the skin's artwork.
void MakeKnobAtlas()
{
    SkinAtlas = window_test::MakeCanvasDc(64, 64);
    const RECT knob = {knobPicture.x, knobPicture.y, knobPicture.x + knobSize.cx, knobPicture.y + knobSize.cy};
    FillRect(SkinAtlas, &knob, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    window_test::MakeSkinAtlasMask();
}

class DrawHelpers : public testing::Test {
protected:
    void SetUp() override
    {
        savedFace = GetSysColor(COLOR_BTNFACE);
        SetFace(RGB(192, 192, 192));
    }
    void TearDown() override { SetFace(savedFace); }
    static void SetFace(COLORREF colour)
    {
        INT element = COLOR_BTNFACE;
        SetSysColors(1, &element, &colour);
    }
    COLORREF savedFace = 0;
};

// A gauge of 129 columns, both ends included.
constexpr RECT gauge = {64, 17, 192, 21};
constexpr COLORREF yellow = RGB(255, 255, 0);

TEST_F(DrawHelpers, GaugeFillsColumnsUpToPercentTimesOnePointTwoEightTruncated)
{
    struct Case { int percent; int lastFilled; };
    const Case cases[] = {{0, 64}, {1, 65}, {25, 95}, {50, 127}, {75, 159}, {100, 191}};
    for (const Case& c : cases) {
        Canvas canvas = MakeCanvas(256, 40, marker);
        DrawGauge(canvas.dc, gauge, c.percent);
        for (int x = gauge.left; x <= gauge.right; ++x) {
            bool filled = x <= c.lastFilled;
            for (int y = gauge.top; y <= gauge.bottom; ++y) {
                ASSERT_EQ(PixelAt(canvas, x, y) == yellow, filled)
                    << c.percent << " % at (" << x << ", " << y << ")";
            }
        }
        // Nothing outside the rectangle, corners included.
        EXPECT_EQ(PixelAt(canvas, gauge.left - 1, gauge.top), marker);
        EXPECT_EQ(PixelAt(canvas, gauge.right + 1, gauge.bottom), marker);
        EXPECT_EQ(PixelAt(canvas, gauge.left, gauge.top - 1), marker);
        EXPECT_EQ(PixelAt(canvas, gauge.right, gauge.bottom + 1), marker);
        FreeCanvas(canvas);
    }
}

TEST_F(DrawHelpers, GreyFaceGivesBlueGradientAndYellowFill)
{
    Canvas canvas = MakeCanvas(256, 40, marker);
    DrawGauge(canvas.dc, gauge, 50);
    // Unfilled part: black along the top row, full hue 240 near the left of the bottom row, grey
    // (no saturation left) in the last column.
    EXPECT_EQ(PixelAt(canvas, 128, gauge.top), RGB(0, 0, 0));
    COLORREF leftBottom = PixelAt(canvas, 128, gauge.bottom);
    EXPECT_EQ(GetBValue(leftBottom), 255);
    EXPECT_EQ(GetRValue(leftBottom), GetGValue(leftBottom));
    EXPECT_LT(GetRValue(leftBottom), 160);
    EXPECT_EQ(PixelAt(canvas, gauge.right, gauge.bottom), RGB(255, 255, 255));
    EXPECT_EQ(PixelAt(canvas, gauge.left, gauge.top), yellow);
    FreeCanvas(canvas);
}

TEST_F(DrawHelpers, ColouredFaceGivesItsComplementAsFill)
{
    SetFace(RGB(255, 128, 0));  // hue 30: filled hue 210
    Canvas canvas = MakeCanvas(256, 40, marker);
    DrawGauge(canvas.dc, gauge, 100);
    EXPECT_EQ(PixelAt(canvas, gauge.left, gauge.top), RGB(0, 127, 255));
    // The unfilled last column is the face hue at zero saturation: grey.
    EXPECT_EQ(PixelAt(canvas, gauge.right, gauge.bottom), RGB(255, 255, 255));
    FreeCanvas(canvas);
}

// Face 192 grey: hue 0, saturation 0, value 76 %. Each pixel is a grey of (0.76 + shade) x 255.
TEST_F(DrawHelpers, BevelFrameCornersAndEdgesForRadiusThree)
{
    Canvas canvas = MakeCanvas(100, 80, marker);
    const RECT area = {20, 20, 60, 40};
    DrawBevelFrame(canvas.dc, area, 1.0f, 3.0f, 0.2f);

    // The corner pixels are last set by the innermost points of the final fan there (steps up to
    // 0.3 truncate to no offset): lighter at the bottom right, darker at the top left.
    EXPECT_TRUE(IsGrey(PixelAt(canvas, area.right, area.bottom), 215));
    EXPECT_TRUE(IsGrey(PixelAt(canvas, area.left, area.top), 175));

    // Edge lines one and two pixels outside, the fans reach no further than two.
    for (int x = area.left; x < area.right; ++x) {
        EXPECT_NE(PixelAt(canvas, x, area.top - 1), marker) << x;
        EXPECT_NE(PixelAt(canvas, x, area.top - 2), marker) << x;
        EXPECT_EQ(PixelAt(canvas, x, area.top - 3), marker) << x;
        EXPECT_EQ(PixelAt(canvas, x, area.bottom + 3), marker) << x;
    }
    for (int x = area.left + 1; x <= area.right; ++x) {
        EXPECT_NE(PixelAt(canvas, x, area.bottom + 1), marker) << x;
        EXPECT_NE(PixelAt(canvas, x, area.bottom + 2), marker) << x;
    }
    for (int y = area.top + 1; y <= area.bottom; ++y) {
        EXPECT_NE(PixelAt(canvas, area.left - 2, y), marker) << y;
        EXPECT_EQ(PixelAt(canvas, area.left - 3, y), marker) << y;
        EXPECT_EQ(PixelAt(canvas, area.right + 3, y), marker) << y;
    }
    // The frame is a frame: the inside stays untouched.
    EXPECT_EQ(PixelAt(canvas, 40, 30), marker);
    EXPECT_EQ(PixelAt(canvas, area.left + 3, area.top + 3), marker);
    // Darker on the top, lighter at the bottom.
    EXPECT_LT(GetRValue(PixelAt(canvas, 40, area.top - 2)), 193);
    EXPECT_GT(GetRValue(PixelAt(canvas, 40, area.bottom + 2)), 193);
    FreeCanvas(canvas);
}

constexpr int knobRow = sliderBlock.top + 2;

int KnobLeftEdge(const Canvas& canvas)
{
    for (int x = sliderBlock.left; x < sliderBlock.right; ++x) {
        if (PixelAt(canvas, x, knobRow) == RGB(0, 0, 0)) return x;
    }
    return -1;
}

// One process-wide slider cache, so the slider's cases share one test.
TEST_F(DrawHelpers, SliderTrackKnobAndCache)
{
    MakeKnobAtlas();
    // The first draw goes to a context full of another colour, as a covered dialog would be:
    // the cache must not take it up.
    Canvas covered = MakeCanvas(400, 240, RGB(255, 0, 0));
    DrawStrengthSlider(covered.dc, 50);
    FreeCanvas(covered);

    Canvas canvas = MakeCanvas(400, 240, marker);
    struct Case { std::int8_t strength; int offset; };
    // Knob left edges for 1, 26, 50 and 99: 49 = 25 x 1.96 exactly in double precision.
    const Case cases[] = {{1, 0}, {26, 49}, {50, 96}, {99, 192}};
    for (const Case& c : cases) {
        DrawStrengthSlider(canvas.dc, c.strength);
        const int left = sliderTrack.left + c.offset;
        EXPECT_EQ(KnobLeftEdge(canvas), left) << int(c.strength);
        EXPECT_EQ(PixelAt(canvas, left + knobSize.cx - 1, knobRow), RGB(0, 0, 0));
        EXPECT_NE(PixelAt(canvas, left + knobSize.cx, knobRow), RGB(0, 0, 0));
    }

    // The restored block is the face colour around the track, never what the first context held;
    // the previous knob is gone.
    EXPECT_TRUE(IsGrey(PixelAt(canvas, sliderBlock.left + 1, sliderBlock.top + 1), 192));
    EXPECT_TRUE(IsGrey(PixelAt(canvas, sliderTrack.left, knobRow), 192));
    EXPECT_EQ(PixelAt(canvas, sliderBlock.left - 1, sliderBlock.top + 1), marker);
    EXPECT_EQ(PixelAt(canvas, sliderBlock.right, sliderBlock.top + 1), marker);
    // Track: black top row, hue 240 at the left, grey at the right.
    EXPECT_EQ(PixelAt(canvas, sliderTrack.left + 50, sliderTrack.top + 1), RGB(0, 0, 0));
    COLORREF left = PixelAt(canvas, sliderTrack.left, sliderTrack.bottom);
    EXPECT_GT(GetBValue(left), 150);
    EXPECT_EQ(GetRValue(left), 0);
    COLORREF right = PixelAt(canvas, sliderTrack.right - 1, sliderTrack.bottom);
    EXPECT_EQ(GetRValue(right), GetGValue(right));
    EXPECT_LE(GetBValue(right) - GetRValue(right), 1);
    FreeCanvas(canvas);
}

}  // namespace
