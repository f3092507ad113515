#pragma once
// Helpers for the window tests: they start the real program inside the test process, feed its
// windows real messages and read back what the windows show.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "ui/app.h"
#include "ui/app_state.h"
#include "ui/progress_window.h"

namespace window_test {

// Handles every pending message the way the program's loop does.
inline void Pump()
{
    MSG message;
    for (int i = 0; i < 10000 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));  // leave it for the test to find
            return;
        }
        HandleMessage(message);
    }
}

// Real input, as the mouse and the keyboard give it: through the system's input queue, so that
// capture, focus and the dialog manager's keys all take their part.
inline void PointerTo(POINT screen)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof input);
}

inline void LeftButton(bool down)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    SendInput(1, &input, sizeof input);
}

inline void PressKey(WORD key)
{
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = inputs[1].ki.wVk = key;
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof inputs[0]);
}

// Handles messages with pump until done() holds, for at most about ten seconds: input goes
// through the display system and comes back when it comes. False when it never held.
template <typename PumpMessages, typename Done>
inline bool PumpUntil(PumpMessages pump, Done done)
{
    for (int i = 0; i < 1000; ++i) {
        pump();
        if (done()) return true;
        Sleep(10);
    }
    return false;
}

inline bool QuitPosted()
{
    MSG message;
    return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != 0;
}

inline std::wstring Title(HWND window)
{
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

inline SIZE WindowSize(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
}

inline SIZE ClientSize(HWND window)
{
    RECT r;
    GetClientRect(window, &r);
    return {r.right, r.bottom};
}

// What a window or memory device context shows, read back through a 32-bit DIB.
struct Capture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;  // top row first, 0x00RRGGBB

    COLORREF At(int x, int y) const
    {
        const std::uint32_t p = pixels[static_cast<std::size_t>(y) * width + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
};

// A 32-bit top-down DIB section: its pixels can be read row by row, top row first.
inline HBITMAP CreateTopDownDib(int width, int height, void** bits)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

inline Capture CaptureDc(HDC source, int width, int height)
{
    Capture capture;
    capture.width = width;
    capture.height = height;
    capture.pixels.resize(static_cast<std::size_t>(width) * height);
    void* bits = nullptr;
    HBITMAP dib = CreateTopDownDib(width, height, &bits);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    GdiFlush();
    std::memcpy(capture.pixels.data(), bits, capture.pixels.size() * 4);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(dib);
    return capture;
}

inline Capture CaptureClient(HWND window)
{
    const SIZE size = ClientSize(window);
    HDC dc = GetDC(window);
    Capture capture = CaptureDc(dc, size.cx, size.cy);
    ReleaseDC(window, dc);
    return capture;
}

// The drawing resources start-up makes, made here for tests that drive one window alone. A memory
// context holding a bitmap of the screen's format, filled white.
inline HDC MakeCanvasDc(int width, int height)
{
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    SelectObject(dc, CreateCompatibleBitmap(screen, width, height));
    ReleaseDC(nullptr, screen);
    const RECT all = {0, 0, width, height};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    return dc;
}

// A monochrome copy of an area, as start-up makes its masks: white stays white, all else is black.
inline HDC MakeMaskDc(HDC source, int x, int y, int width, int height)
{
    HDC dc = CreateCompatibleDC(source);
    SelectObject(dc, CreateBitmap(width, height, 1, 1, nullptr));
    BitBlt(dc, 0, 0, width, height, source, x, y, SRCCOPY);
    return dc;
}

// The progress mark's mask, made from the start-up canvas as it stands.
inline void MakeProgressMarkMask()
{
    ProgressMarkMask = MakeMaskDc(SplashCanvas, progressMarkPlace.x, progressMarkPlace.y, progressMarkSize.cx,
                                  progressMarkSize.cy);
}

// The skin atlas's mask over the 128 x 128 area start-up takes.
inline void MakeSkinAtlasMask()
{
    SkinAtlasMask = MakeMaskDc(SkinAtlas, 0, 0, 128, 128);
}

// The hidden progress window, of the program's class "Progress".
inline void MakeProgressWindow()
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ProgressWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.lpszClassName = L"Progress";
    RegisterClassW(&windowClass);
    progressWindow = CreateWindowExW(WS_EX_TOOLWINDOW, L"Progress", L"", WS_POPUP | WS_CAPTION, 0, 0, 0, 0,
                                     nullptr, nullptr, windowClass.hInstance, nullptr);
}

// Writes a 24-bit bottom-up BMP whose pixel (x, y), counted from the top, is colour(x, y).
template <typename ColourAt>
inline void WriteBmp(const std::wstring& path, int width, int height, ColourAt colour)
{
    const int stride = width * 3 + width % 4;
    std::vector<std::uint8_t> file(54 + static_cast<std::size_t>(stride) * height, 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<std::uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    file[26] = 1;
    file[28] = 24;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = &file[54 + static_cast<std::size_t>(height - 1 - y) * stride];
        for (int x = 0; x < width; ++x) {
            const COLORREF c = colour(x, y);
            row[3 * x] = GetBValue(c);
            row[3 * x + 1] = GetGValue(c);
            row[3 * x + 2] = GetRValue(c);
        }
    }
    FILE* out = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(file.data(), 1, file.size(), out);
    std::fclose(out);
}

// The full path of a file in the current directory.
inline std::wstring FullPath(const std::wstring& name)
{
    wchar_t full[1024];
    GetFullPathNameW(name.c_str(), 1024, full, nullptr);
    return full;
}

// Drops files on a window as the shell does: an HDROP built in this process, sent as WM_DROPFILES.
inline void DropFiles(HWND window, const std::vector<std::wstring>& paths)
{
    std::wstring list;
    for (const auto& p : paths) list += p + L'\0';
    list += L'\0';
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
}

// Answers the next message box or dialog that the thread opens: records its caption and text and
// ends it with the given command. Works inside the box's own modal loop, through a thread timer.
struct BoxSeen {
    std::wstring caption;
    std::wstring text;
    bool icon = false;  // the box shows an icon
    bool seen = false;
};

inline BOOL CALLBACK FindIcon(HWND child, LPARAM found)
{
    wchar_t className[16] = {};
    GetClassNameW(child, className, 16);
    const bool icon = _wcsicmp(className, L"Static") == 0 &&
                      (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                      SendMessageW(child, STM_GETICON, 0, 0) != 0;
    if (icon) *reinterpret_cast<bool*>(found) = true;
    return !icon;
}

inline BoxSeen* boxSeen = nullptr;
inline WORD boxCommand = IDOK;

inline BOOL CALLBACK FindBox(HWND window, LPARAM)
{
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (std::wstring(className) != L"#32770" || !IsWindowVisible(window)) return TRUE;
    boxSeen->seen = true;
    boxSeen->caption = Title(window);
    HWND text = GetDlgItem(window, 0xFFFF);  // a message box's text control
    if (text) boxSeen->text = Title(text);
    EnumChildWindows(window, FindIcon, reinterpret_cast<LPARAM>(&boxSeen->icon));
    PostMessageW(window, WM_COMMAND, boxCommand, 0);
    return FALSE;
}

inline void CALLBACK LookForBox(HWND, UINT, UINT_PTR, DWORD)
{
    if (boxSeen && !boxSeen->seen) EnumThreadWindows(GetCurrentThreadId(), FindBox, 0);
}

struct BoxAnswerer {
    BoxSeen result;
    UINT_PTR timer;

    explicit BoxAnswerer(WORD command = IDOK)
    {
        boxSeen = &result;
        boxCommand = command;
        timer = SetTimer(nullptr, 0, 50, LookForBox);
    }
    ~BoxAnswerer()
    {
        KillTimer(nullptr, timer);
        boxSeen = nullptr;
    }
};

}  // namespace window_test
