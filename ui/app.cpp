#include "ui/app.h"

#include <shellapi.h>

#include <cstdint>
#include <memory>

#include "imagefile/converter_library.h"
#include "resources/resource_ids.h"
#include "support/settings_file.h"
#include "support/splash_image.h"
#include "support/system_probe.h"
#include "ui/app_state.h"
#include "ui/draw_helpers.h"
#include "ui/main_window.h"
#include "ui/progress_window.h"
#include "ui/scoped_gdi.h"
#include "ui/wide_text.h"
#include "ui/windows_front_end.h"

namespace {

constexpr int canvasWidth = 200;
constexpr int canvasHeight = 230;
constexpr int atlasMaskSide = 128;

// The memory contexts behind the drawing resources, each with its bitmap, from start-up to exit.
struct Canvases {
    OwnedMemoryDc splash, mark, atlas, atlasMask;
};
Canvases canvases;

void FreeCanvas(OwnedMemoryDc& canvas, HDC& named)
{
    canvas.Reset();
    named = nullptr;
}

bool CreateMainWindow(int x, int y)
{
    WNDCLASSW windowClass = {};
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_QUORVANE));
    windowClass.lpszClassName = L"Quorvane";
    RegisterClassW(&windowClass);
    mainWindow = CreateWindowExW(0, L"Quorvane", L"Quorvane", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, x, y,
                                 splashSide, splashSide, nullptr, nullptr, instance, nullptr);
    if (!mainWindow) return false;
    DragAcceptFiles(mainWindow, TRUE);
    return true;
}

bool CreateProgressWindow()
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ProgressWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.lpszClassName = L"Progress";
    RegisterClassW(&windowClass);
    progressWindow = CreateWindowExW(WS_EX_TOOLWINDOW, L"Progress", L"", WS_POPUP | WS_CAPTION, 0, 0, 0, 0, nullptr,
                                     nullptr, instance, nullptr);
    return progressWindow != nullptr;
}

// The packed start-up picture drawn into the canvas; a block that does not unpack leaves the
// canvas white, which costs the look but not the program.
void DrawSplashPicture()
{
    PatBlt(SplashCanvas, 0, 0, canvasWidth, canvasHeight, WHITENESS);
    std::unique_ptr<std::uint8_t[]> picture;
    // Rows of 600 bytes need no padding; the pixels follow the 40-byte header directly.
    constexpr std::size_t pictureBytes = 40 + canvasWidth * 3 * canvasHeight;
    if (UnpackSplashImage(splashBlock, splashBlockSize, picture) < pictureBytes) return;
    const auto* header = reinterpret_cast<const BITMAPINFO*>(picture.get());
    const BITMAPINFOHEADER& h = header->bmiHeader;
    if (h.biWidth != canvasWidth || h.biHeight != canvasHeight || h.biBitCount != 24) return;
    SetDIBitsToDevice(SplashCanvas, 0, 0, canvasWidth, canvasHeight, 0, 0, 0, canvasHeight,
                      picture.get() + 40, header, DIB_RGB_COLORS);
}

// Monochrome copy of a colour area: the source's background colour (white) becomes white, every
// other colour black.
HDC MakeMask(HDC source, int x, int y, int width, int height, OwnedMemoryDc& mask)
{
    mask.Make(mainWindowDc, CreateBitmap(width, height, 1, 1, nullptr));
    BitBlt(mask, 0, 0, width, height, source, x, y, SRCCOPY);
    return mask;
}

void DrawSplashTexts()
{
    const int height = -MulDiv(7, GetDeviceCaps(SplashCanvas, LOGPIXELSY), 72);
    const ScopedGdiObject<HFONT> font(
        CreateFontW(height, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, VARIABLE_PITCH | FF_SWISS, L"Small Fonts"));
    const ScopedSelectObject selected(SplashCanvas, font);
    SetTextColor(SplashCanvas, RGB(192, 192, 192));
    SetBkMode(SplashCanvas, TRANSPARENT);
    SetTextAlign(SplashCanvas, TA_LEFT | TA_TOP);

    // The places follow the client area of the 200 x 200 window, so they move with the system's
    // frame sizes.
    RECT client;
    GetClientRect(mainWindow, &client);
    const int cw = client.right;
    const int ch = client.bottom;
    const std::wstring version = WideFromUtf8(versionText);
    const std::wstring credit = WideFromUtf8(creditText);
    TextOutW(SplashCanvas, static_cast<int>(cw / 2.25), ch / 3, version.c_str(), static_cast<int>(version.size()));
    TextOutW(SplashCanvas, cw / 4, ch - 32, credit.c_str(), static_cast<int>(credit.size()));
}

void PrepareDrawingResources()
{
    mainWindowDc = GetDC(mainWindow);
    canvases.splash.Make(mainWindowDc, CreateCompatibleBitmap(mainWindowDc, canvasWidth, canvasHeight));
    SplashCanvas = canvases.splash;
    DrawSplashPicture();
    ProgressMarkMask = MakeMask(SplashCanvas, progressMarkPlace.x, progressMarkPlace.y, progressMarkSize.cx,
                                progressMarkSize.cy, canvases.mark);
    canvases.atlas.Make(mainWindowDc, static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(IDB_SKIN_ATLAS),
                                                                      IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
    SkinAtlas = canvases.atlas;
    SkinAtlasMask = MakeMask(SkinAtlas, 0, 0, atlasMaskSide, atlasMaskSide, canvases.atlasMask);
    DrawSplashTexts();
}

}  // namespace

bool StartApplication(HINSTANCE programInstance)
{
    instance = programInstance;
    PlugWindowsFrontEnd();

    ReadSettings();
    mainView.previewDialog.settings.method = MethodNamed(rememberedMethod).value_or(Method::Classic);
    // A window remembered off the top or left of the screen comes back at the edge.
    const int x = windowX < 0 ? 0 : windowX;
    const int y = windowY < 0 ? 0 : windowY;
    if (!CreateMainWindow(x, y) || !CreateProgressWindow()) {
        ShowMessageBox("ウィンドウを作成できません。。。", " ERROR...");
        return false;
    }
    PrepareDrawingResources();

    dialogOpen = false;
    ShowWindow(mainWindow, SW_SHOW);
    openHandCursor = LoadCursorW(instance, MAKEINTRESOURCEW(IDC_OPEN_HAND));
    closedHandCursor = LoadCursorW(instance, MAKEINTRESOURCEW(IDC_CLOSED_HAND));
    heldImage.loaded = false;
    pictureShown = false;
    // Without the module the program reads and writes BMP files only.
    LoadConverterLibrary(converterLibraryPath);
    return true;
}

void HandleMessage(const MSG& message)
{
    if (message.hwnd == mainWindow && mainWindow) {
        MainWindowProc(message.hwnd, message.message, message.wParam, message.lParam);
    } else if (message.hwnd == progressWindow && progressWindow) {
        ProgressWindowProc(message.hwnd, message.message, message.wParam, message.lParam);
    } else if (message.message == WM_PAINT && message.hwnd) {
        // A paint request that nobody answers would come back from GetMessage forever.
        ValidateRect(message.hwnd, nullptr);
    }
}

int RunMessageLoop()
{
    MSG message = {};
    for (;;) {
        const BOOL result = GetMessageW(&message, nullptr, 0, 0);
        if (result == -1 || result == 0) break;
        HandleMessage(message);
    }
    return static_cast<int>(message.wParam);
}

void EndApplication()
{
    // The module goes first: the probe of the machine must not count it, and support/ cannot
    // reach the program's module slot.
    FreeConverterLibrary();
    ProbeSystem();
    // The screen's own context: the main window's is no longer valid once the close box has
    // destroyed the window, and would report a display of 0 x 0.
    DisplayFigures display;
    {
        const ScopedGetDC screen(nullptr);
        display.width = GetDeviceCaps(screen, HORZRES);
        display.height = GetDeviceCaps(screen, VERTRES);
        display.bitsPerPixel = GetDeviceCaps(screen, BITSPIXEL);
    }
    rememberedMethod = MethodName(mainView.previewDialog.settings.method);
    WriteSettings(closedWindowRect.left, closedWindowRect.top, display, systemFigures);

    DestroyCursor(openHandCursor);
    DestroyCursor(closedHandCursor);
    openHandCursor = closedHandCursor = nullptr;
    if (mainWindowDc) ReleaseDC(mainWindow, mainWindowDc);
    mainWindowDc = nullptr;
    ReleaseSliderCache();
    FreeCanvas(canvases.splash, SplashCanvas);
    FreeCanvas(canvases.mark, ProgressMarkMask);
    FreeCanvas(canvases.atlas, SkinAtlas);
    FreeCanvas(canvases.atlasMask, SkinAtlasMask);
    ReleaseImage(heldImage);
}
