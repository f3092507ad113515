#include "ui/slider_focus.h"

#include <algorithm>

namespace {

constexpr wchar_t className[] = L"QuorvaneSliderFocus";
constexpr int pageStep = 10;

void Tell(HWND control, WORD request)
{
    SendMessageW(GetParent(control), WM_HSCROLL, MAKEWPARAM(request, 0), reinterpret_cast<LPARAM>(control));
}

bool TellKey(HWND control, WPARAM key)
{
    switch (key) {
    case VK_RIGHT:
    case VK_UP: Tell(control, SB_LINERIGHT); return true;
    case VK_LEFT:
    case VK_DOWN: Tell(control, SB_LINELEFT); return true;
    case VK_PRIOR: Tell(control, SB_PAGERIGHT); return true;
    case VK_NEXT: Tell(control, SB_PAGELEFT); return true;
    case VK_HOME: Tell(control, SB_LEFT); return true;
    case VK_END: Tell(control, SB_RIGHT); return true;
    }
    return false;
}

LRESULT CALLBACK SliderFocusProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCHITTEST: return HTTRANSPARENT;  // the dialog handles the mouse
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_ERASEBKGND: return TRUE;  // the dialog draws the slider
    case WM_KEYDOWN:
        if (TellKey(control, wParam)) return 0;
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: Tell(control, SB_ENDSCROLL); return 0;
    }
    return DefWindowProcW(control, message, wParam, lParam);
}

}  // namespace

HWND CreateSliderFocus(HWND dialog, const RECT& place, int id)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = SliderFocusProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);  // fails harmlessly from the second dialog on
    return CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, place.left, place.top,
                           place.right - place.left, place.bottom - place.top, dialog,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), windowClass.hInstance, nullptr);
}

int StrengthAfterScroll(int strength, WORD request, int low, int high)
{
    switch (request) {
    case SB_LINERIGHT: strength += 1; break;
    case SB_LINELEFT: strength -= 1; break;
    case SB_PAGERIGHT: strength += pageStep; break;
    case SB_PAGELEFT: strength -= pageStep; break;
    case SB_LEFT: strength = low; break;
    case SB_RIGHT: strength = high; break;
    }
    return std::clamp(strength, low, high);
}
