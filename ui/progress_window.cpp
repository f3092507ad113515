#include "ui/progress_window.h"

#include "ui/app_state.h"
#include "ui/draw_helpers.h"
#include "ui/scoped_gdi.h"

namespace {

constexpr int windowWidth = 256;
constexpr int windowHeight = 64;
constexpr RECT gaugeArea = {64, 17, 192, 21};

constexpr POINT markPlace = {4, 8};  // where the window shows the mark

void StartDisplay(HDC dc, HBRUSH faceBrush)
{
    int x = GetDeviceCaps(dc, HORZRES) / 2 - windowWidth / 2;
    int y = GetDeviceCaps(dc, VERTRES) / 2 - windowHeight / 2;
    SetWindowPos(progressWindow, HWND_TOPMOST, x, y, windowWidth, windowHeight, SWP_SHOWWINDOW);

    RECT client;
    GetClientRect(progressWindow, &client);
    FillRect(dc, &client, faceBrush);
    SetWindowTextW(progressWindow, L" initialize...");

    DrawBevelFrame(dc, gaugeArea, 1.0f, 3.0f, 0.1f);
    DrawGauge(dc, gaugeArea, 1);

    // White is the transparent colour of the mark: XOR, AND with the mask, XOR again.
    const int w = progressMarkSize.cx;
    const int h = progressMarkSize.cy;
    const POINT from = progressMarkPlace;
    BitBlt(dc, markPlace.x, markPlace.y, w, h, SplashCanvas, from.x, from.y, SRCINVERT);
    BitBlt(dc, markPlace.x, markPlace.y, w, h, ProgressMarkMask, 0, 0, SRCAND);
    BitBlt(dc, markPlace.x, markPlace.y, w, h, SplashCanvas, from.x, from.y, SRCINVERT);
}

void UpdateDisplay(HDC dc, int percent)
{
    SetWindowTextW(progressWindow, L" process...");
    DrawGauge(dc, gaugeArea, percent);
}

}  // namespace

LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

void ShowProgress(int kind, int percent)
{
    const ScopedGetDC dc(progressWindow);
    const ScopedGdiObject<HBRUSH> faceBrush(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
    const ScopedSelectObject selected(dc, faceBrush);

    if (kind == 1) {
        StartDisplay(dc, faceBrush);
    } else if (kind == 2) {
        UpdateDisplay(dc, percent);
    } else {
        ShowWindow(progressWindow, SW_HIDE);
    }
}
