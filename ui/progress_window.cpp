#include "ui/progress_window.h"

#include "engine/settings.h"
#include "ui/app_state.h"
#include "ui/draw_helpers.h"

namespace {

constexpr int windowWidth = 256;
constexpr int windowHeight = 64;
constexpr RECT gaugeArea = {64, 17, 192, 21};

// The program's mark: the strip of the start-up picture below its 200 x 200 view.
constexpr int markX = 4;
constexpr int markY = 8;
constexpr int markWidth = 48;
constexpr int markHeight = 22;
constexpr int markCanvasY = 200;

void StartDisplay(HDC dc, HBRUSH faceBrush)
{
    int x = GetDeviceCaps(dc, HORZRES) / 2 - windowWidth / 2;
    int y = GetDeviceCaps(dc, VERTRES) / 2 - windowHeight / 2;
    SetWindowPos(progressWindow, HWND_TOPMOST, x, y, windowWidth, windowHeight, SWP_SHOWWINDOW);

    RECT client;
    GetClientRect(progressWindow, &client);
    FillRect(dc, &client, faceBrush);
    SetWindowTextW(progressWindow, L" initialize...");

    drawRect = gaugeArea;
    DrawBevelFrame(dc, 1.0f, 3.0f, 0.1f);
    drawRect = gaugeArea;
    DrawGauge(dc, 1);

    // White is the transparent colour of the mark: XOR, AND with the mask, XOR again.
    BitBlt(dc, markX, markY, markWidth, markHeight, SplashCanvas, 0, markCanvasY, SRCINVERT);
    BitBlt(dc, markX, markY, markWidth, markHeight, ProgressMarkMask, 0, 0, SRCAND);
    BitBlt(dc, markX, markY, markWidth, markHeight, SplashCanvas, 0, markCanvasY, SRCINVERT);
}

void UpdateDisplay(HDC dc, int percent)
{
    SetWindowTextW(progressWindow, L" process...");
    drawRect = gaugeArea;
    DrawGauge(dc, percent);
}

}  // namespace

LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

bool ShowProgress(int kind, int percent)
{
    HDC dc = GetDC(progressWindow);
    HBRUSH faceBrush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    SelectObject(dc, faceBrush);

    if (kind == 1) {
        StartDisplay(dc, faceBrush);
    } else if (kind == 2) {
        UpdateDisplay(dc, percent);
    } else {
        ShowWindow(progressWindow, SW_HIDE);
        progressEnabled = false;
    }

    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    DeleteObject(faceBrush);
    ReleaseDC(progressWindow, dc);
    return true;
}
