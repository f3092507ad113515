// The progress window as the engine drives it: a real window of the class "Progress", read back
// through its own device context.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>

#include "ui/app_state.h"
#include "ui/progress_window.h"
#include "window_test_support.h"

namespace {

constexpr COLORREF yellow = RGB(255, 255, 0);

// The start-up resources the window draws with: a white canvas whose mark strip holds one black
// square, and the mask made from it the way start-up makes it.
void MakeMarkResources()
{
    SplashCanvas = window_test::MakeCanvasDc(200, 230);
    const POINT mark = progressMarkPlace;
    RECT square = {mark.x + 5, mark.y + 5, mark.x + 15, mark.y + 15};
    FillRect(SplashCanvas, &square, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    window_test::MakeProgressMarkMask();
}

std::string Caption()
{
    char text[512] = {};
    GetWindowTextA(progressWindow, text, sizeof text);
    return text;
}

COLORREF ClientPixel(int x, int y)
{
    HDC dc = GetDC(progressWindow);
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(progressWindow, dc);
    return colour;
}

// Columns 64 ... 192 of the gauge's bottom row that show the filled colour.
int FilledColumns()
{
    int count = 0;
    for (int x = 64; x <= 192; ++x) count += ClientPixel(x, 21) == yellow;
    return count;
}

class ProgressWindow : public testing::Test {
protected:
    // The face colour is the session's: set a known grey and give the old one back at the end.
    static void SetUpTestSuite()
    {
        savedFace = GetSysColor(COLOR_BTNFACE);
        SetFace(RGB(192, 192, 192));
        MakeMarkResources();
        window_test::MakeProgressWindow();
    }
    static void TearDownTestSuite() { SetFace(savedFace); }
    static void SetFace(COLORREF colour)
    {
        INT element = COLOR_BTNFACE;
        SetSysColors(1, &element, &colour);
    }
    static inline COLORREF savedFace = 0;
};

TEST_F(ProgressWindow, StartPlacesTopmostWindowWithFrameGaugeAndMark)
{
    ASSERT_NE(progressWindow, nullptr);
    ASSERT_FALSE(IsWindowVisible(progressWindow));
    ShowProgress(1, 0);

    EXPECT_TRUE(IsWindowVisible(progressWindow));
    EXPECT_TRUE(GetWindowLongA(progressWindow, GWL_EXSTYLE) & WS_EX_TOPMOST);
    RECT place;
    GetWindowRect(progressWindow, &place);
    HDC screen = GetDC(nullptr);
    int screenWidth = GetDeviceCaps(screen, HORZRES);
    int screenHeight = GetDeviceCaps(screen, VERTRES);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(place.left, screenWidth / 2 - 128);
    EXPECT_EQ(place.top, screenHeight / 2 - 32);
    if (screenWidth == 1024 && screenHeight == 768) {
        EXPECT_EQ(place.left, 384);
        EXPECT_EQ(place.top, 352);
    }
    EXPECT_EQ(place.right - place.left, 256);
    EXPECT_EQ(place.bottom - place.top, 64);
    EXPECT_EQ(Caption(), " initialize...");

    // Gauge at 1 %: two columns; the frame around it; the mark's black square with its white
    // surroundings left transparent over the face colour.
    EXPECT_EQ(FilledColumns(), 2);
    EXPECT_NE(ClientPixel(100, 17 - 1), RGB(192, 192, 192));
    EXPECT_EQ(ClientPixel(4 + 7, 8 + 7), RGB(0, 0, 0));
    EXPECT_EQ(ClientPixel(4 + 1, 8 + 1), RGB(192, 192, 192));
    EXPECT_EQ(ClientPixel(240, 40), RGB(192, 192, 192));
}

TEST_F(ProgressWindow, UpdatesFollowThePercentagesAndEndHides)
{
    ShowProgress(1, 0);
    // 1.28 columns a percent in single precision, widened: 50 % fills 63 columns beyond the first.
    const std::pair<int, int> filled[] = {{1, 2}, {10, 13}, {50, 64}, {90, 116}, {100, 128}};
    for (const auto& [percent, columns] : filled) {
        ShowProgress(2, percent);
        EXPECT_EQ(Caption(), " process...");
        EXPECT_EQ(FilledColumns(), columns) << percent;
    }
    EXPECT_NE(ClientPixel(192, 21), yellow);
    // The mark stays as the start drew it.
    EXPECT_EQ(ClientPixel(4 + 7, 8 + 7), RGB(0, 0, 0));

    ShowProgress(0, 0);
    EXPECT_FALSE(IsWindowVisible(progressWindow));
}

}  // namespace
