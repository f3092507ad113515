#include "ui/preview_dialog.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "colour/hsv.h"
#include "colour/lab.h"
#include "ui/app_state.h"
#include "ui/draw_helpers.h"
#include "ui/engine_run.h"
#include "ui/preview_layout.h"
#include "ui/preview_paint.h"
#include "ui/preview_render.h"
#include "ui/scoped_gdi.h"
#include "ui/slider_focus.h"
#include "ui/wide_text.h"
#include "ui/windows_front_end.h"

namespace {

constexpr std::int8_t strengthStep = 1;
constexpr std::int8_t strengthMaximum = 99;
constexpr std::int8_t strengthMinimum = 1;

// The tone curves in list order: the index is the value of toneMode.
constexpr const wchar_t* toneCurveNames[] = {L"階調補正なし", L"明るめ", L"ナチュラル", L"暗め"};

// Lab extremes that express a* and b* as percentages in the readout.
constexpr double aPositiveRange = 93.5833;
constexpr double aNegativeRange = 79.2666;
constexpr double bPositiveRange = 93.3626;
constexpr double bNegativeRange = 112.057;

// The margin kept around the custom area when the dialog has to grow.
constexpr int margin = 8;

int PackedX(std::uint32_t position) { return static_cast<std::uint16_t>(position & 0xFFFF); }
int PackedY(std::uint32_t position) { return static_cast<std::int16_t>(position >> 16); }

int PictureWidth() { return heldImage.header->biWidth; }
int PictureHeight() { return heldImage.header->biHeight; }

void SetStrength(DenoiseSettings& settings, int value)
{
    settings.filterStrength = static_cast<std::int8_t>(std::clamp(value, int{strengthMinimum}, int{strengthMaximum}));
}

// The slider's focus frame, inside the block that each knob move restores.
void DrawSliderFocus(HWND dialog, HDC dc)
{
    if (GetFocus() != GetDlgItem(dialog, IDC_STRENGTH_SLIDER)) return;
    RECT frame = sliderBlock;
    InflateRect(&frame, -1, -1);
    DrawFocusRect(dc, &frame);
}

void RedrawStrength(HWND dialog, HDC dc, int strength)
{
    DrawStrengthSlider(dc, strength);
    DrawSliderFocus(dialog, dc);
    UsePanelTextStyle(dc);
    WriteStrength(dc, strength);
}

// The column offset counts back from the right end and moves in whole steps of 3 columns.
std::int32_t ColumnOffsetFor(std::int32_t x)
{
    return (PictureWidth() - cropSize) - (x - x % 3);
}

// A new crop picture for a new opening; the held picture's measured noise is measured anew.
void BuildPreviewCrop(PreviewState& preview)
{
    AllocateImage(cropSize, cropSize, preview.crop);
    preview.noise.reset();
    const int rows = std::min(PictureHeight(), cropSize);
    const int columns = std::min(PictureWidth(), cropSize);
    if (PictureWidth() < cropSize) preview.place.rowPad = cropSize - PictureWidth();
    for (int i = 0; i < rows; ++i)
        std::memcpy(preview.crop.rows[i], heldImage.rows[i], static_cast<std::size_t>(columns) * 3);
}

void CentreCrop(PreviewDialogState& state)
{
    CropPlace& place = state.preview.place;
    if (PictureHeight() >= cropSize)
        state.committedY = state.liveY = place.rowOffset = PictureHeight() / 2 - cropSize / 2;
    else
        state.committedY = state.liveY = place.rowOffset = 0;
    if (PictureWidth() >= cropSize) {
        state.committedX = state.liveX = PictureWidth() / 2 - cropSize / 2;
        place.columnOffset = ColumnOffsetFor(state.liveX);
    } else {
        state.committedX = state.liveX = place.columnOffset = 0;
    }
}

// The tone curve and the two corrections belong to the classic method: greyed for the other.
void EnableClassicChoices(HWND dialog, Method method)
{
    const BOOL classic = method == Method::Classic;
    for (int id : {IDC_BRIGHTNESS_CORRECTION, IDC_RGB_CORRECTION, IDC_TONE_CURVE})
        EnableWindow(GetDlgItem(dialog, id), classic);
}

void ShowSettings(HWND dialog, const DenoiseSettings& settings)
{
    CheckDlgButton(dialog, IDC_BRIGHTNESS_CORRECTION, settings.brightnessCorrection ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_RGB_CORRECTION, settings.colour.rgbCorrection ? BST_CHECKED : BST_UNCHECKED);
    for (const wchar_t* name : toneCurveNames)
        SendDlgItemMessageW(dialog, IDC_TONE_CURVE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    // A combo box that once reported no selection left -1, which the conversion reads as 0.
    const int tone = settings.colour.toneMode;
    const int mode = tone >= 0 && tone <= 3 ? tone : 0;
    SendDlgItemMessageW(dialog, IDC_TONE_CURVE, CB_SELECTSTRING, mode,
                        reinterpret_cast<LPARAM>(toneCurveNames[mode]));
    for (const char* label : methodLabels)
        SendDlgItemMessageW(dialog, IDC_METHOD, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromUtf8(label).c_str()));
    SendDlgItemMessageW(dialog, IDC_METHOD, CB_SETCURSEL, static_cast<WPARAM>(settings.method), 0);
    EnableClassicChoices(dialog, settings.method);
}

// The top of the highest control, in client pixels.
int ControlsTop(HWND dialog)
{
    int top = INT_MAX;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        top = std::min(top, static_cast<int>(ControlPlace(dialog, child).top));
    return top;
}

// The custom area is laid out in pixels while the template is in dialog units. When the font's
// units leave the controls over the custom area, they move below it together; when they leave
// the dialog too small for the tiles and the slider zone, it grows.
void FitCustomArea(HWND dialog)
{
    int shift = std::max(0, static_cast<int>(sliderZone.bottom) + margin - ControlsTop(dialog));
    if (shift > 0) {
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            const RECT place = ControlPlace(dialog, child);
            SetWindowPos(child, nullptr, place.left, place.top + shift, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    RECT client;
    GetClientRect(dialog, &client);
    int extraWidth = std::max(0, static_cast<int>(tiledArea.right - client.right) + margin);
    int extraHeight = std::max(shift, static_cast<int>(sliderZone.bottom - client.bottom) + margin);
    if (extraWidth == 0 && extraHeight == 0) return;
    RECT window;
    GetWindowRect(dialog, &window);
    SetWindowPos(dialog, nullptr, window.left - extraWidth / 2, window.top - extraHeight / 2,
                 window.right - window.left + extraWidth, window.bottom - window.top + extraHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

bool HasClass(HWND control, const wchar_t* name)
{
    wchar_t className[16] = {};
    GetClassNameW(control, className, 16);
    return lstrcmpiW(className, name) == 0;
}

bool IsGroupBox(HWND control)
{
    return HasClass(control, L"Button") && (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

// How wide a control's text is in the font the control really got.
int TextWidth(HWND control)
{
    wchar_t text[256] = {};
    const int length = GetWindowTextW(control, text, 256);
    const ScopedGetDC dc(control);
    const ScopedSelectObject font(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size = {};
    GetTextExtentPoint32W(dc, text, length, &size);
    return size.cx;
}

void MoveControl(HWND control, const RECT& place)
{
    SetWindowPos(control, nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// The help texts are sized in dialog units for one font; in the font a user really has they may
// be wider and would be cut. Each such text widens to its measure, the group box around them by as
// much as the widest one grew, the buttons beside the box move right with it, and the dialog
// grows to keep them.
void FitHelpTexts(HWND dialog)
{
    HWND group = nullptr;
    int rightBefore = 0, textsRightBefore = 0, textsRightAfter = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT place = ControlPlace(dialog, child);
        rightBefore = std::max(rightBefore, static_cast<int>(place.right));
        if (IsGroupBox(child)) group = child;
        if (!HasClass(child, L"Static")) continue;
        textsRightBefore = std::max(textsRightBefore, static_cast<int>(place.right));
        place.right = std::max(place.right, place.left + TextWidth(child));
        textsRightAfter = std::max(textsRightAfter, static_cast<int>(place.right));
        MoveControl(child, place);
    }
    const int grow = textsRightAfter - textsRightBefore;
    if (!group || grow <= 0) return;

    RECT box = ControlPlace(dialog, group);
    int rightAfter = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT place = ControlPlace(dialog, child);
        const bool beside = place.left >= box.right && place.top < box.bottom && place.bottom > box.top;
        if (beside) OffsetRect(&place, grow, 0);
        if (child == group) place.right += grow;
        if (beside || child == group) MoveControl(child, place);
        rightAfter = std::max(rightAfter, static_cast<int>(place.right));
    }
    const int extra = rightAfter - rightBefore;
    if (extra <= 0) return;
    RECT window;
    GetWindowRect(dialog, &window);
    SetWindowPos(dialog, nullptr, window.left - extra / 2, window.top, window.right - window.left + extra,
                 window.bottom - window.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

// The keyboard's way through the dialog, every control a tab stop, round from the slider: the two
// corrections, Preview, the tone curve, the method, the whole-picture run and Cancel. The round
// is entered at Preview, which takes the focus when the dialog opens, as it always has: its Enter
// is the harmless one.
void ArrangeTabOrder(HWND dialog)
{
    constexpr int order[] = {IDC_PREVIEW,
                             IDC_TONE_CURVE,
                             IDC_METHOD,
                             IDC_WHOLE_PICTURE,
                             IDC_CANCEL_BUTTON,
                             IDC_STRENGTH_SLIDER,
                             IDC_BRIGHTNESS_CORRECTION,
                             IDC_RGB_CORRECTION};
    HWND after = HWND_TOP;
    for (int id : order) {
        const HWND control = GetDlgItem(dialog, id);
        SetWindowLongW(control, GWL_STYLE, GetWindowLongW(control, GWL_STYLE) | WS_TABSTOP);
        SetWindowPos(control, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = control;
    }
}

void InitDialog(HWND dialog, PreviewDialogState& state)
{
    BuildPreviewCrop(state.preview);
    CentreCrop(state);
    ShowSettings(dialog, state.settings);
    FitCustomArea(dialog);
    FitHelpTexts(dialog);
    CreateSliderFocus(dialog, sliderZone, IDC_STRENGTH_SLIDER);
    ArrangeTabOrder(dialog);
}

// The slider's keys, and its focus coming or going.
void OnSliderKey(HWND dialog, HDC dc, PreviewDialogState& state, WPARAM wParam)
{
    SetStrength(state.settings,
                StrengthAfterScroll(state.settings.filterStrength, LOWORD(wParam), strengthMinimum, strengthMaximum));
    RedrawStrength(dialog, dc, state.settings.filterStrength);
}

// The before-pixel's column ends where the after-pixel's begins, which ends with the value box.
void WritePixelValues(HDC dc, int x, int right, COLORREF colour, int toneMode)
{
    int red = GetRValue(colour), green = GetGValue(colour), blue = GetBValue(colour);
    double lStar, aStar, bStar;
    RgbToLab(toneMode, red, green, blue, lStar, aStar, bStar);
    double aPercent = aStar >= 0 ? aStar / aPositiveRange * 100 : aStar / aNegativeRange * 100;
    double bPercent = bStar >= 0 ? bStar / bPositiveRange * 100 : bStar / bNegativeRange * 100;
    float hue, saturation, value;
    RgbToHsv(red, green, blue, hue, saturation, value);

    const int shown[] = {static_cast<int>(std::ceil(lStar)), static_cast<int>(std::floor(aPercent)),
                         static_cast<int>(std::ceil(bPercent)), static_cast<int>(hue),
                         static_cast<int>(saturation), static_cast<int>(value)};
    for (int i = 0; i < 6; ++i) {
        char text[16];
        std::snprintf(text, sizeof text, " %3d", shown[i]);
        WritePanelField(dc, x, readoutTopY + readoutLineHeight * i, right, text);
    }
}

// The same place in both panels, read back from the screen.
void ShowReadout(HDC dc, int x, int y, int toneMode)
{
    COLORREF before = GetPixel(dc, x, y);
    COLORREF after = GetPixel(dc, x - beforeCrop.left + afterCrop.left, y);
    UsePanelTextStyle(dc);
    WritePixelValues(dc, beforeReadoutX, afterReadoutX, before, toneMode);
    WritePixelValues(dc, afterReadoutX, valueBox.right, after, toneMode);
}

// One axis of a crop drag: the offset moves step picture pixels per mouse pixel, and a limit
// that is hit moves the committed position with it.
void DragAxis(int picturePixels, int moved, std::int32_t& committed, std::int32_t& live)
{
    if (picturePixels - cropSize <= 0) {
        committed = live = 0;
        return;
    }
    int step = static_cast<int>(picturePixels / static_cast<double>(cropSize));
    live = moved * step + committed;
    if (live > picturePixels - cropSize) live = committed = picturePixels - cropSize;
    if (live < 0) live = committed = 0;
}

void MoveCrop(PreviewDialogState& state, int x, int y)
{
    DragAxis(PictureHeight(), y - PackedY(state.dragStart), state.committedY, state.liveY);
    state.preview.place.rowOffset = state.liveY;
    DragAxis(PictureWidth(), x - PackedX(state.dragStart), state.committedX, state.liveX);
    state.preview.place.columnOffset = PictureWidth() - cropSize > 0 ? ColumnOffsetFor(state.liveX) : 0;
}

void CommitCrop(PreviewDialogState& state)
{
    state.committedX = state.liveX;
    state.committedY = state.liveY;
}

void OnMouseMove(HWND dialog, HDC dc, PreviewDialogState& state, LPARAM lParam)
{
    std::uint32_t position = static_cast<std::uint32_t>(lParam);
    if (position == state.lastMousePosition) return;
    state.lastMousePosition = position;
    int x = PackedX(position);
    int y = PackedY(position);

    // While the button holds the knob it follows the pointer's x wherever the pointer goes: the
    // dialog has the mouse captured, and a pointer left of the dialog has a negative x.
    if (state.sliderAnchorPosition != 0) {
        state.sliderHover = StrictlyInside(sliderZone, x, y);
        const int anchorX = static_cast<std::int16_t>(state.sliderAnchorPosition & 0xFFFF);
        SetStrength(state.settings, state.sliderAnchorValue + (static_cast<std::int16_t>(x) - anchorX) / 2);
        RedrawStrength(dialog, dc, state.settings.filterStrength);
        return;
    }
    if (StrictlyInside(sliderZone, x, y)) {
        state.sliderHover = 1;
        RedrawStrength(dialog, dc, state.settings.filterStrength);
        return;
    }
    state.sliderHover = 0;
    if (StrictlyInside(beforeCrop, x, y)) {
        state.cropHover = 1;
        ShowReadout(dc, x, y, state.settings.colour.toneMode);
        if (state.cropDragging) {
            MoveCrop(state, x, y);
            RenderPreview(dc, state.settings, state.preview);
        }
    } else {
        state.cropHover = 0;
        if (state.cropDragging) {
            state.cropDragging = 0;
            CommitCrop(state);
        }
    }
}

// A slider drag holds the mouse, so that its release is seen wherever it happens.
void OnButtonDown(HWND dialog, PreviewDialogState& state)
{
    if (state.sliderHover) {
        state.sliderAnchorValue = state.settings.filterStrength;
        state.sliderAnchorPosition = state.lastMousePosition;
        SetCapture(dialog);
    }
    if (state.cropHover) {
        state.cropDragging = 1;
        state.dragStart = state.lastMousePosition;
    }
}

void OnButtonUp(HWND dialog, PreviewDialogState& state)
{
    state.sliderAnchorPosition = 0;
    if (GetCapture() == dialog) ReleaseCapture();
    if (state.cropHover) {
        state.cropDragging = 0;
        CommitCrop(state);
    }
}

// The system took the mouse away during a slider drag (another window, a switch of task): the
// release will not come, so the drags end here, as a release would end them.
void OnCaptureLost(PreviewDialogState& state)
{
    state.sliderAnchorPosition = 0;
    if (state.cropDragging) {
        state.cropDragging = 0;
        CommitCrop(state);
    }
}

void OnWheel(HWND dialog, HDC dc, PreviewDialogState& state, WPARAM wParam)
{
    short delta = static_cast<short>(HIWORD(wParam));
    SetStrength(state.settings, state.settings.filterStrength + (delta > 0 ? strengthStep : -strengthStep));
    RedrawStrength(dialog, dc, state.settings.filterStrength);
}

void CloseDialog(HWND dialog)
{
    dialogOpen = false;
    EndDialog(dialog, 0);
}

// The dialog is already ended while the engine and its progress window run, and the main window
// has drawn itself where the dialog stood: nothing is handled during the run, and the closed
// dialog would otherwise stay on screen until it ends. The noise a preview measured on the
// picture is the whole run's as well.
void RunWholePicture(HWND dialog, PreviewDialogState& state)
{
    CloseDialog(dialog);
    UpdateWindow(mainWindow);
    DenoiseSettings settings = state.settings;
    settings.noise = state.preview.noise;
    const DenoiseOutcome outcome = DenoiseWholePicture(settings, heldImage);
    if (outcome.done) state.preview.figures = outcome.figures;
    else TellUser("画像が大きすぎて処理できません。。。", " ERROR...");
    PostMessageA(mainWindow, WM_PAINT, 0, 0);
}

void OnCommand(HWND dialog, PreviewDialogState& state, WPARAM wParam)
{
    DenoiseSettings& settings = state.settings;
    switch (LOWORD(wParam)) {
    case IDC_PREVIEW:
        state.preview.requested = true;
        PostMessageA(dialog, WM_PAINT, 0, 0);
        break;
    case IDC_WHOLE_PICTURE:
        RunWholePicture(dialog, state);
        break;
    case IDC_CANCEL_BUTTON:
    case IDCANCEL:
        CloseDialog(dialog);
        break;
    case IDC_BRIGHTNESS_CORRECTION:
        settings.brightnessCorrection = IsDlgButtonChecked(dialog, IDC_BRIGHTNESS_CORRECTION) == BST_CHECKED;
        break;
    case IDC_RGB_CORRECTION:
        settings.colour.rgbCorrection = IsDlgButtonChecked(dialog, IDC_RGB_CORRECTION) == BST_CHECKED;
        break;
    case IDC_TONE_CURVE:
        if (HIWORD(wParam) == CBN_SELCHANGE)
            settings.colour.toneMode =
                static_cast<std::int8_t>(SendDlgItemMessageW(dialog, IDC_TONE_CURVE, CB_GETCURSEL, 0, 0));
        break;
    case IDC_METHOD:
        if (HIWORD(wParam) == CBN_SELCHANGE) {
            const LRESULT chosen = SendDlgItemMessageW(dialog, IDC_METHOD, CB_GETCURSEL, 0, 0);
            settings.method = chosen == 1 ? Method::Fine : Method::Classic;
            EnableClassicChoices(dialog, settings.method);
        }
        break;
    }
}

// The platform's own background painting would wipe the custom area: erase only around it. Where a
// picture smaller than the crop leaves part of a panel undrawn, that part is erased as usual.
void EraseAroundCustomArea(HWND dialog, HDC dc)
{
    const ScopedGdiObject<HRGN> custom(CreateRectRgnIndirect(&tiledArea));
    if (!heldImage.header || PictureWidth() < cropSize || PictureHeight() < cropSize) {
        const ScopedGdiObject<HRGN> before(CreateRectRgnIndirect(&beforeCrop));
        const ScopedGdiObject<HRGN> after(CreateRectRgnIndirect(&afterCrop));
        CombineRgn(custom, custom, before, RGN_DIFF);
        CombineRgn(custom, custom, after, RGN_DIFF);
    }
    const ScopedGdiObject<HRGN> slider(CreateRectRgnIndirect(&sliderBlock));
    CombineRgn(custom, custom, slider, RGN_OR);

    int saved = SaveDC(dc);
    ExtSelectClipRgn(dc, custom, RGN_DIFF);
    RECT client;
    GetClientRect(dialog, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    RestoreDC(dc, saved);
}

// Validating the update region first lets the platform's painting that follows find nothing to
// erase, so the custom area stays on top.
void OnPaint(HWND dialog, HDC dc, PreviewDialogState& state)
{
    PAINTSTRUCT paint;
    BeginPaint(dialog, &paint);
    PaintPreviewDialog(dc, state.settings, state.preview);
    DrawSliderFocus(dialog, dc);
    EndPaint(dialog, &paint);
}

HFONT CreateDialogFont(HDC dc)
{
    return CreateFontA(-MulDiv(7, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, 0, FALSE, FALSE, FALSE,
                       SHIFTJIS_CHARSET, 0, 0, 0, VARIABLE_PITCH | FF_SWISS, "Small Fonts");
}

// The dialog's window context with its font selected, for the length of one message.
struct DialogDc {
    explicit DialogDc(HWND dialog) : dc(dialog), font(CreateDialogFont(dc)), selected(dc, font) {}
    ScopedGetDC dc;
    ScopedGdiObject<HFONT> font;
    ScopedSelectObject selected;
};

}  // namespace

// Where a control stands, in the dialog's client pixels.
RECT ControlPlace(HWND dialog, HWND control)
{
    RECT place;
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
    return place;
}

void UpdateDialogCursor(const PreviewDialogState& state)
{
    int x = PackedX(state.lastMousePosition);
    int y = PackedY(state.lastMousePosition);
    if (StrictlyInside(beforePanel, x, y)) SetCursor(state.cropDragging ? closedHandCursor : openHandCursor);
    else SetCursor(LoadCursor(nullptr, IDC_ARROW));
}

INT_PTR CALLBACK PreviewDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        PreviewDialogState& state = *reinterpret_cast<PreviewDialogState*>(lParam);
        {
            const DialogDc context(dialog);
            UpdateDialogCursor(state);
            InitDialog(dialog, state);
        }
        const HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_QUORVANE));
        SetClassLongPtrW(dialog, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
        return TRUE;
    }

    // Messages that come before WM_INITDIALOG find no state yet, and nothing of the dialog to do.
    auto* state = reinterpret_cast<PreviewDialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (!state) return FALSE;
    const DialogDc context(dialog);
    const HDC dc = context.dc;
    UpdateDialogCursor(*state);
    INT_PTR result = FALSE;
    switch (message) {
    case WM_PAINT:
        OnPaint(dialog, dc, *state);
        break;
    case WM_ERASEBKGND:
        EraseAroundCustomArea(dialog, reinterpret_cast<HDC>(wParam));
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
        result = TRUE;
        break;
    case WM_MOUSEMOVE: OnMouseMove(dialog, dc, *state, lParam); break;
    case WM_LBUTTONDOWN:
        OnButtonDown(dialog, *state);
        break;
    case WM_LBUTTONUP:
        OnButtonUp(dialog, *state);
        break;
    case WM_CAPTURECHANGED:
        OnCaptureLost(*state);
        break;
    case WM_HSCROLL: OnSliderKey(dialog, dc, *state, wParam); break;
    case WM_MOUSEWHEEL: OnWheel(dialog, dc, *state, wParam); break;
    case WM_COMMAND:
        OnCommand(dialog, *state, wParam);
        break;
    case WM_CLOSE:
    case WM_DESTROY:
        CloseDialog(dialog);
        break;
    }

    UpdateDialogCursor(*state);
    return result;
}
