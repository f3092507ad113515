#include "ui/main_window.h"

#include <shellapi.h>

#include <algorithm>
#include <string>
#include <utility>

#include "colour/view_keys.h"
#include "colour/view_transform.h"
#include "engine/picture_memory.h"
#include "imagefile/image_file.h"
#include "support/file_error.h"
#include "support/usable_memory.h"
#include "ui/app_state.h"
#include "ui/preview_dialog.h"
#include "ui/scoped_gdi.h"
#include "ui/wide_text.h"
#include "ui/windows_front_end.h"

MainWindowView mainView;

namespace {

int PointerX(LPARAM packed)
{
    return static_cast<short>(LOWORD(packed));
}

int PointerY(LPARAM packed)
{
    return static_cast<short>(HIWORD(packed));
}

void AskForRepaint(HWND window)
{
    PostMessageW(window, WM_PAINT, 0, 0);
}

void ResizeWindow(HWND window, int width, int height)
{
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, width, height, SWP_NOMOVE);
}

RECT WorkArea(HWND window)
{
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    return monitor.rcWork;
}

// The window takes the picture's size, but no more than the monitor's work area: a larger window
// would hide its close box and the part of the picture that panning must reach. A new picture
// also moves the window into that area; later paints leave it where the user put it.
void FitWindowToPicture(HWND window)
{
    const RECT work = WorkArea(window);
    const int width = std::min<int>(heldImage.header->biWidth + mainView.frameExtraWidth, work.right - work.left);
    const int height = std::min<int>(heldImage.header->biHeight + mainView.frameExtraHeight, work.bottom - work.top);
    if (!mainView.placeOnScreen) {
        ResizeWindow(window, width, height);
        return;
    }
    mainView.placeOnScreen = false;
    RECT now;
    GetWindowRect(window, &now);
    const int x = std::max<int>(work.left, std::min<int>(now.left, work.right - width));
    const int y = std::max<int>(work.top, std::min<int>(now.top, work.bottom - height));
    SetWindowPos(window, HWND_NOTOPMOST, x, y, width, height, 0);
}

// The client area's right and bottom edges as far as the work area shows them, in client pixels:
// panning brings the picture's lower-right corner there, not to an edge beyond the screen.
POINT ShownClientCorner(HWND window, const RECT& client)
{
    const RECT work = WorkArea(window);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    return {std::min<LONG>(client.right, work.right - origin.x), std::min<LONG>(client.bottom, work.bottom - origin.y)};
}

void OpenPreviewDialog()
{
    if (dialogOpen) return;
    dialogOpen = true;
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_PREVIEW), mainWindow, PreviewDialogProc,
                    reinterpret_cast<LPARAM>(&mainView.previewDialog));
    // The dialog clears the flag when it ends; a dialog that could not open must not leave it set,
    // or Space would never work again.
    dialogOpen = false;
}

void OnKeyDown(HWND window, WPARAM key)
{
    if (key == VK_ESCAPE) {
        PostMessageW(window, WM_DESTROY, 0, 0);
        return;
    }
    if (key == VK_SPACE) {
        OpenPreviewDialog();
        return;
    }
    const int viewMode = key <= 0xFF ? ViewModeForKey(static_cast<int>(key)) : -1;
    if (viewMode < 0) return;
    ApplyViewTransform(static_cast<std::int8_t>(viewMode), mainView.previewDialog.settings.colour, heldImage.header,
                       heldImage.bits, heldImage.rows.get());
    AskForRepaint(window);
}

// A picture smaller than the window's smallest client area gives a negative limit: it then
// stays at the top-left corner instead of jumping right or down.
int ClampPan(int offset, int limit)
{
    if (limit < 0) limit = 0;
    if (offset >= 0) return 0;
    return -offset > limit ? -limit : offset;
}

void OnMouseMove(HWND window, LPARAM position)
{
    SetCursor(mainView.dragging ? closedHandCursor : openHandCursor);
    if (position == mainView.lastPointer) return;
    mainView.lastPointer = position;
    if (!mainView.dragging) return;

    GetClientRect(window, &mainView.clientRect);
    const POINT shown = ShownClientCorner(window, mainView.clientRect);
    mainView.panLimitY = heldImage.header->biHeight - shown.y;
    mainView.panLimitX = heldImage.header->biWidth - shown.x;
    const int x = mainView.savedPanX + (PointerX(position) - PointerX(mainView.dragAnchor));
    const int y = mainView.savedPanY + (PointerY(position) - PointerY(mainView.dragAnchor));
    mainView.panX = ClampPan(x, mainView.panLimitX);
    mainView.panY = ClampPan(y, mainView.panLimitY);
    AskForRepaint(window);
}

void SavePicture()
{
    // A large picture takes seconds to save, and the window answers nothing meanwhile.
    const HCURSOR previous = SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
    // Saved beside the input: its path less the extension, with the saver's own ending.
    std::string name = SaveNameStem(Utf8FromWide(mainView.path));
    const FileError saved = SaveImageFile(heldImage, name);
    SetCursor(previous);
    // The message this program has always shown, with the file and the reason below it.
    if (saved != FileError::None) {
        const std::string text = "Png:書き出しに失敗しました...\n" + name + ": " + FileErrorText(saved);
        ShowErrorBox(text.c_str(), " Can't Write file...");
    }
    // A moment after every save before the window takes input again, as the double click has
    // always had.
    Sleep(16);
}

std::wstring FirstDroppedPath(HDROP drop)
{
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    std::wstring path(length, L'\0');
    if (length > 0) DragQueryFileW(drop, 0, path.data(), length + 1);
    return path;
}

// A picture that cannot be loaded is refused from its header, before its decoding takes gigabytes
// and minutes.
FileError LoadPicture(const std::string& path, Image& picture)
{
    if (!PictureLoadFits(path, UsableMemoryBytes())) return FileError::TooLarge;
    return LoadImageFile(path, picture);
}

// A new picture starts with nothing of the last one: its view, its pan and its figures.
void TakePicture(HWND window, Image& loaded, const std::wstring& path)
{
    heldImage = std::move(loaded);
    mainView.path = path;
    AskForRepaint(window);
    pictureShown = true;
    mainView.panX = mainView.panY = 0;
    mainView.savedPanX = mainView.savedPanY = 0;
    mainView.panLimitX = mainView.panLimitY = 0;
    mainView.toldTooLargeToShow = false;
    mainView.placeOnScreen = true;
    mainView.previewDialog.preview.figures = QualityFigures{};
}

// The new file is read beside the held picture, which goes only once the new one is in: a file
// that cannot be read leaves the picture on screen, and any unsaved result with it. Without a
// picture the start-up picture stays, with the title that says the file was refused.
void LoadDroppedFile(HWND window, HDROP drop)
{
    const std::wstring path = FirstDroppedPath(drop);
    DragFinish(drop);
    Image loaded;
    const FileError error = LoadPicture(Utf8FromWide(path), loaded);
    if (error == FileError::None) {
        TakePicture(window, loaded, path);
        return;
    }
    if (!pictureShown) {
        ResizeWindow(window, splashSide, splashSide);
        SetWindowTextW(window, L" Can't read file...");
    }
    const std::string text = "読めないファイルです。。。\n" + Utf8FromWide(path) + ": " + FileErrorText(error);
    ShowMessageBox(text.c_str(), " ERROR...");
}

void ShowPicture(HWND window)
{
    FitWindowToPicture(window);
    const ScopedGetDC dc(window);
    GetClientRect(window, &mainView.clientRect);
    PaintImage(dc);
}

void ShowSplash(HWND window)
{
    const ScopedGetDC dc(window);
    BitBlt(dc, 0, 0, splashSide, splashSide, SplashCanvas, 0, 0, SRCCOPY);
}

// What the picture does not cover, beside a picture narrower than the smallest window or below a
// lower one, is cleared: nothing of an earlier picture may stay there.
void ClearBesidePicture(HDC dc)
{
    const RECT& client = mainView.clientRect;
    const int right = mainView.panX + heldImage.header->biWidth;
    const int bottom = mainView.panY + heldImage.header->biHeight;
    HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
    if (right < client.right) {
        const RECT beside = {right, 0, client.right, client.bottom};
        FillRect(dc, &beside, face);
    }
    if (bottom < client.bottom) {
        const RECT below = {0, bottom, std::min<LONG>(right, client.right), client.bottom};
        FillRect(dc, &below, face);
    }
}

}  // namespace

std::wstring PictureTitle(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L'\\');
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    return L" QVN - " + name;
}

void PaintImage(HDC dc)
{
    SetICMMode(dc, ICM_ON);
    const BitmapInfoHeader* header = heldImage.header;
    const int lines = SetDIBitsToDevice(dc, mainView.panX, mainView.panY, header->biWidth, header->biHeight, 0, 0, 0,
                                        header->biHeight, heldImage.bits,
                                        reinterpret_cast<const BITMAPINFO*>(header), DIB_RGB_COLORS);
    ClearBesidePicture(dc);
    SetWindowTextW(mainWindow, PictureTitle(mainView.path).c_str());
    if (lines == 0 && !mainView.toldTooLargeToShow) {
        // The system could not draw it (a picture beyond what the display can take); the picture
        // itself stays held, so views, the dialog and saving still work.
        mainView.toldTooLargeToShow = true;
        ShowMessageBox("画像が大きすぎて表示できません。。。", " ERROR...");
    }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: {
        RECT frame, client;
        GetWindowRect(window, &frame);
        GetClientRect(window, &client);
        mainView.frameExtraWidth = (frame.right - frame.left) - (client.right - client.left);
        mainView.frameExtraHeight = (frame.bottom - frame.top) - (client.bottom - client.top);
        break;
    }
    case WM_DESTROY:
        GetWindowRect(window, &closedWindowRect);
        PostQuitMessage(0);
        break;
    case WM_PAINT:
        if (pictureShown) ShowPicture(window);
        break;
    case WM_ACTIVATEAPP:
        if (wParam != 0) PostMessageW(window, WM_NCHITTEST, 0, 1);
        break;
    case WM_NCHITTEST:
        SetForegroundWindow(window);
        break;
    case WM_KEYDOWN:
        if (pictureShown) OnKeyDown(window, wParam);
        break;
    case WM_MOUSEMOVE:
        if (pictureShown) OnMouseMove(window, lParam);
        break;
    case WM_LBUTTONDOWN:
        if (pictureShown) {
            SetCursor(closedHandCursor);
            mainView.dragging = true;
            mainView.dragAnchor = mainView.lastPointer;
        }
        break;
    case WM_LBUTTONUP:
        if (pictureShown) {
            SetCursor(openHandCursor);
            mainView.dragging = false;
            mainView.savedPanX = mainView.panX;
            mainView.savedPanY = mainView.panY;
        }
        break;
    case WM_LBUTTONDBLCLK:
        if (pictureShown) SavePicture();
        break;
    case WM_DROPFILES:
        // The open dialog works on the picture it was opened with, and a box waits for an answer:
        // a drop then is refused.
        if (dialogOpen || modalBoxesOpen > 0) DragFinish(reinterpret_cast<HDROP>(wParam));
        else LoadDroppedFile(window, reinterpret_cast<HDROP>(wParam));
        break;
    default:
        break;
    }
    // Without a picture the start-up picture is drawn again after every message.
    if (!pictureShown) ShowSplash(window);
    return DefWindowProcW(window, message, wParam, lParam);
}
