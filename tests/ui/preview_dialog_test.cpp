// The preview dialog built from its real template and driven through its real procedure with
// window messages; what it shows is read back from its window.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "colour/hsv.h"
#include "colour/lab.h"
#include "ui/app_state.h"
#include "ui/preview_dialog.h"
#include "ui/preview_layout.h"
#include "ui/preview_render.h"
#include "ui/progress_window.h"
#include "ui/windows_front_end.h"
#include "window_test_support.h"

namespace {

// The dialog here is modeless, so its messages are dispatched as any window's would be, the
// dialog manager's keys first, as the modal loop has them.
HWND pumpedDialog = nullptr;

void Pump()
{
    MSG message;
    for (int i = 0; i < 10000 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (pumpedDialog && IsDialogMessageW(pumpedDialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// The start-up resources the dialog and the progress window draw with, made as start-up makes
// them from the program's own resources.
void MakeStartUpResources()
{
    instance = GetModuleHandleW(nullptr);
    SkinAtlas = CreateCompatibleDC(nullptr);
    SelectObject(SkinAtlas, LoadBitmapW(instance, MAKEINTRESOURCEW(IDB_SKIN_ATLAS)));
    window_test::MakeSkinAtlasMask();
    SplashCanvas = window_test::MakeCanvasDc(200, 230);
    window_test::MakeProgressMarkMask();
    openHandCursor = LoadCursorW(instance, MAKEINTRESOURCEW(IDC_OPEN_HAND));
    closedHandCursor = LoadCursorW(instance, MAKEINTRESOURCEW(IDC_CLOSED_HAND));

    mainWindow = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPED, 0, 0, 200, 200, nullptr, nullptr,
                                 instance, nullptr);
    window_test::MakeProgressWindow();
}

// A picture whose every pixel differs from its neighbours, so that a shifted crop shows.
COLORREF Pattern(int x, int y)
{
    return RGB((x * 7 + y * 3) & 0xFF, (x * 2 + y * 11 + 40) & 0xFF, (x * 13 + y * 5 + 90) & 0xFF);
}

// Pixel (x, y) counted from the top of the picture is Pattern(x, y).
void HoldPicture(int width, int height)
{
    ASSERT_TRUE(AllocateImage(width, height, heldImage));
    const std::int64_t stride = RowStride(width);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = heldImage.bits + (height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            COLORREF c = Pattern(x, y);
            row[3 * x] = GetBValue(c);
            row[3 * x + 1] = GetGValue(c);
            row[3 * x + 2] = GetRValue(c);
        }
    }
    FillSourceRows(heldImage);
}

using window_test::Capture;
using window_test::CaptureClient;
using window_test::CaptureDc;

// What the dialog's panel text looks like when it writes text at the origin of a fresh context.
Capture PanelText(HWND dialog, const char* text)
{
    HDC dialogDc = GetDC(dialog);
    HDC memory = CreateCompatibleDC(dialogDc);
    HBITMAP bitmap = CreateCompatibleBitmap(dialogDc, 64, 16);
    SelectObject(memory, bitmap);
    HFONT font = CreateFontA(-MulDiv(7, GetDeviceCaps(dialogDc, LOGPIXELSY), 72), 0, 0, 0, 0, FALSE, FALSE,
                             FALSE, SHIFTJIS_CHARSET, 0, 0, 0, VARIABLE_PITCH | FF_SWISS, "Small Fonts");
    SelectObject(memory, font);
    SetBkMode(memory, OPAQUE);
    SetBkColor(memory, RGB(64, 64, 64));
    SetTextColor(memory, RGB(200, 200, 200));
    RECT all = {0, 0, 64, 16};
    FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    TextOutA(memory, 0, 0, text, static_cast<int>(std::strlen(text)));
    SIZE extent;
    GetTextExtentPoint32A(memory, text, static_cast<int>(std::strlen(text)), &extent);
    Capture capture = CaptureDc(memory, extent.cx, extent.cy);
    DeleteDC(memory);
    DeleteObject(bitmap);
    DeleteObject(font);
    ReleaseDC(dialog, dialogDc);
    return capture;
}

// Compares the top 8 rows only: the panel's lines are 8 pixels apart and the next line's opaque
// background covers the rest of a taller cell.
bool ShowsText(HWND dialog, int x, int y, const char* text)
{
    Capture expected = PanelText(dialog, text);
    Capture shown = CaptureClient(dialog);
    for (int j = 0; j < expected.height && j < 8; ++j)
        for (int i = 0; i < expected.width; ++i)
            if (shown.At(x + i, y + j) != expected.At(i, j)) return false;
    return expected.width > 0;
}

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

class PreviewDialog : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        SetCursorPos(0, 0);  // keep the real pointer from moving over the dialog
        MakeStartUpResources();
    }

    void TearDown() override
    {
        Close();
        frontEnd = FrontEnd{};
    }

    HWND Open(int width, int height)
    {
        HoldPicture(width, height);
        dialogOpen = true;
        dialog = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_PREVIEW), mainWindow, PreviewDialogProc,
                                    reinterpret_cast<LPARAM>(&state));
        EXPECT_NE(dialog, nullptr);
        pumpedDialog = dialog;
        ShowWindow(dialog, SW_SHOW);
        UpdateWindow(dialog);
        // The display system reports a newly shown window as uncovered a little later; that paint
        // must come before a test's own, or it would blank a preview the test is looking at.
        for (int i = 0; i < 5; ++i) {
            Sleep(20);
            Pump();
        }
        return dialog;
    }

    void Close()
    {
        if (!dialog) return;
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        DestroyWindow(dialog);
        dialog = nullptr;
        pumpedDialog = nullptr;
        Pump();
    }

    void Move(int x, int y) { SendMessageW(dialog, WM_MOUSEMOVE, 0, At(x, y)); }
    void Press() { SendMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, 0); }
    void Release() { SendMessageW(dialog, WM_LBUTTONUP, 0, 0); }
    void Wheel(short delta) { SendMessageW(dialog, WM_MOUSEWHEEL, MAKEWPARAM(0, delta), 0); }
    void Drag(int fromX, int fromY, int toX, int toY)
    {
        Move(fromX, fromY);
        Press();
        Move(toX, toY);
    }
    void Command(int id, int notification = 0)
    {
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, notification),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    }

    HWND dialog = nullptr;
    PreviewDialogState state;
};

TEST_F(PreviewDialog, CropIsCentredAtEveryOpening)
{
    struct Case { int width, height, row, column; };
    const Case cases[] = {{640, 480, 176, 257}, {128, 128, 0, 0}, {100, 60, 0, 0}, {1024, 200, 36, 449}};
    for (const Case& c : cases) {
        Open(c.width, c.height);
        EXPECT_EQ(state.preview.place.rowOffset, c.row) << c.width << " x " << c.height;
        EXPECT_EQ(state.preview.place.columnOffset, c.column) << c.width << " x " << c.height;
        Close();
    }
}

TEST_F(PreviewDialog, BeforePanelShowsTheCropTheRightWayUp)
{
    Open(640, 480);
    Capture shown = CaptureClient(dialog);
    // Rows count from the bottom: the panel's top line is picture row 176 + 127 from the bottom.
    const int top = 480 - 1 - (176 + 127);
    const int last = cropSize - 1;
    EXPECT_EQ(shown.At(beforeCrop.left, beforeCrop.top), Pattern(257, top));
    EXPECT_EQ(shown.At(beforeCrop.left + last, beforeCrop.top + last), Pattern(257 + last, top + last));
    EXPECT_EQ(shown.At(afterCrop.left + 5, afterCrop.top + 5), RGB(255, 255, 255));  // no preview yet
}

TEST_F(PreviewDialog, SmallPictureStandsTopLeftAndTheRestOfTheCropIsZero)
{
    Open(100, 60);
    Capture shown = CaptureClient(dialog);
    EXPECT_EQ(shown.At(beforeCrop.left, beforeCrop.top), Pattern(0, 0));
    EXPECT_EQ(shown.At(beforeCrop.left + 99, beforeCrop.top + 59), Pattern(99, 59));
    for (int i = 0; i < cropSize; ++i) {
        const int from = i < 60 ? 300 : 0;
        for (int b = from; b < cropSize * 3; ++b) ASSERT_EQ(state.preview.crop.rows[i][b], 0) << i << " " << b;
    }
}

TEST_F(PreviewDialog, LargeEnoughForTheCustomAreaWithItOnTop)
{
    Open(640, 480);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_GE(client.right, tiledArea.right + 8);
    EXPECT_GE(client.bottom, sliderZone.bottom + 8);

    // The platform's own erasing, after a full invalidation, leaves the tiles standing.
    InvalidateRect(dialog, nullptr, TRUE);
    UpdateWindow(dialog);
    Pump();
    Capture shown = CaptureClient(dialog);
    Capture atlas = CaptureDc(SkinAtlas, 64, 64);
    const POINT lastCell = {tiledArea.left + tileSide * 30, tiledArea.top + tileSide * (tileRows - 1)};
    for (int y = 0; y < tileSide; ++y)
        for (int x = 0; x < tileSide; ++x) {
            EXPECT_EQ(shown.At(tiledArea.left + x, tiledArea.top + y), atlas.At(cornerTile.x + x, cornerTile.y + y));
            EXPECT_EQ(shown.At(lastCell.x + x, lastCell.y + y), atlas.At(backgroundTile.x + x, backgroundTile.y + y));
        }
    EXPECT_EQ(shown.At(beforeCrop.left, beforeCrop.top), Pattern(257, 480 - 1 - 303));
}

// The same dialog in dialog units with a much smaller font: the units shrink, the custom area's
// pixels do not. The dialog grows, and a control the units would put over the tiles moves below
// the slider zone.
TEST_F(PreviewDialog, GrowsAndClearsTheCustomAreaWhenItsFontUnitsAreSmall)
{
    HoldPicture(200, 200);
    std::vector<DWORD> block(64, 0);
    auto* header = reinterpret_cast<DLGTEMPLATE*>(block.data());
    header->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    header->cdit = 1;
    header->cx = 227;
    header->cy = 259;
    WORD* tail = reinterpret_cast<WORD*>(header + 1);
    tail += 3;    // no menu, the standard class, an empty title
    *tail++ = 3;  // points
    const wchar_t face[] = L"Small Fonts";
    std::memcpy(tail, face, sizeof face);
    tail += sizeof face / sizeof(WORD);
    if (reinterpret_cast<std::uintptr_t>(tail) % 4) ++tail;
    auto* item = reinterpret_cast<DLGITEMTEMPLATE*>(tail);
    *item = {WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 0, 93, 148, 40, 24, IDC_PREVIEW};
    tail = reinterpret_cast<WORD*>(item + 1);
    *tail++ = 0xFFFF;
    *tail++ = 0x0080;  // a button, titled "" and with no creation data

    dialog = CreateDialogIndirectParamW(instance, header, mainWindow, PreviewDialogProc,
                                        reinterpret_cast<LPARAM>(&state));
    ASSERT_NE(dialog, nullptr);
    RECT units = {0, 0, 227, 148};
    MapDialogRect(dialog, &units);
    EXPECT_LT(units.right, tiledArea.right);    // the template alone would cut the tiles
    EXPECT_LT(units.bottom, sliderZone.bottom);  // and put the button over them
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_GE(client.right, tiledArea.right + 8);
    RECT button;
    GetWindowRect(GetDlgItem(dialog, IDC_PREVIEW), &button);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&button), 2);
    EXPECT_GE(button.top, sliderZone.bottom + 8);
    EXPECT_LE(button.bottom, client.bottom);
}

TEST_F(PreviewDialog, CropDragStepsStopsAtLimitsAndMovesInThreeColumnSteps)
{
    Open(1024, 200);
    // 200 high: one row per pixel, from 36 up to the limit 72; once there the committed place
    // follows the limit, so moving back shows nothing until the mouse crosses the drag start.
    const int x = beforeCrop.left + 36;
    const int y = beforeCrop.top + 36;
    Drag(x, y, x, y + 10);
    EXPECT_EQ(state.preview.place.rowOffset, 46);
    Move(x, y + 50);
    EXPECT_EQ(state.preview.place.rowOffset, 72);
    Move(x, y + 40);
    EXPECT_EQ(state.preview.place.rowOffset, 72);
    Move(x, y - 10);
    EXPECT_EQ(state.preview.place.rowOffset, 62);
    Release();

    // 1024 wide: eight columns per pixel, the offset counted back from the right in steps of 3.
    Drag(x, y, x + 1, y);
    EXPECT_EQ(state.preview.place.columnOffset, 896 - 456);
    Move(x + 2, y);
    EXPECT_EQ(state.preview.place.columnOffset, 896 - 462);
    Move(afterCrop.left - 40, sliderZone.top - 21);  // outside both zones: the drag ends where it was
    Move(x + 1, y + 1);
    EXPECT_EQ(state.preview.place.columnOffset, 896 - 462);
    Release();

    // A picture exactly 128 high cannot move along that axis.
    Close();
    Open(300, 128);
    Drag(x, y, x, y + 40);
    EXPECT_EQ(state.preview.place.rowOffset, 0);
    Release();
}

TEST_F(PreviewDialog, WheelStepsOneWhateverTheDeltaAndStopsAtTheEnds)
{
    Open(200, 200);
    state.settings.filterStrength = 99;
    Wheel(120);
    EXPECT_EQ(state.settings.filterStrength, 99);
    state.settings.filterStrength = 1;
    Wheel(-360);
    EXPECT_EQ(state.settings.filterStrength, 1);
    Wheel(240);
    EXPECT_EQ(state.settings.filterStrength, 2);
    state.settings.filterStrength = 50;
    Wheel(0);
    EXPECT_EQ(state.settings.filterStrength, 49);
    EXPECT_TRUE(ShowsText(dialog, panelTextX, strengthLineY, "   49"));
}

TEST_F(PreviewDialog, SliderDragMovesOneUnitPerTwoPixelsFromTheAnchor)
{
    Open(200, 200);
    const int left = sliderZone.left + 1;
    const int right = sliderZone.right - 1;
    const int middle = (sliderZone.left + sliderZone.right) / 2;
    const int y = sliderTrack.top;
    state.settings.filterStrength = 99;
    Drag(left, y, right, y);
    EXPECT_EQ(state.settings.filterStrength, 99);
    Release();

    state.settings.filterStrength = 1;
    Drag(right, y, left, y);
    EXPECT_EQ(state.settings.filterStrength, 1);
    Release();

    state.settings.filterStrength = 50;
    Drag(middle, y, middle + 11, y + 5);
    EXPECT_EQ(state.settings.filterStrength, 55);
    Move(middle - 10, y);
    EXPECT_EQ(state.settings.filterStrength, 45);
    Move(middle - 12, sliderZone.top - 41);  // above the zone: the knob still follows x
    EXPECT_EQ(state.settings.filterStrength, 44);
    Move(middle + 21, y);
    EXPECT_EQ(state.settings.filterStrength, 60);
    Release();
    Move(middle + 50, y);
    EXPECT_EQ(state.settings.filterStrength, 60);
    EXPECT_TRUE(ShowsText(dialog, panelTextX, strengthLineY, "   60"));
}

bool SameArea(const Capture& a, const Capture& b, RECT area)
{
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x)
            if (a.At(x, y) != b.At(x, y)) return false;
    return true;
}

// The panel's font is proportional: a figure written after a wider one must not keep its digits.
TEST_F(PreviewDialog, FiguresAreWrittenOverTheirClearedFields)
{
    state.settings.filterStrength = 9;
    Open(640, 480);
    const Capture fresh = CaptureClient(dialog);
    Wheel(120);
    Wheel(-120);
    RECT grey = strengthBox;
    grey.left += boxBlackWidth;
    EXPECT_TRUE(SameArea(fresh, CaptureClient(dialog), grey));

    const POINT end = {beforeCrop.left + 96, beforeCrop.top + 66};  // hue 38; the path passes three-digit hues
    Move(end.x, end.y);
    const Capture first = CaptureClient(dialog);
    for (int i = 0; i < 12; ++i) Move(beforeCrop.left + 6 + 10 * i, beforeCrop.top + 21 + 5 * i);
    Move(end.x, end.y);
    grey = valueBox;
    grey.left += boxBlackWidth;
    EXPECT_TRUE(SameArea(first, CaptureClient(dialog), grey));
}

// The help texts show whole in the font the dialog really got, inside their group box, which
// still ends before the buttons beside it, and those within the dialog.
TEST_F(PreviewDialog, HelpTextsShowWholeInTheFontTheyGot)
{
    Open(200, 200);
    RECT client, group = {};
    GetClientRect(dialog, &client);
    int texts = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[16] = {}, text[256] = {};
        GetClassNameW(child, name, 16);
        if ((GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX && lstrcmpiW(name, L"Button") == 0)
            group = ControlPlace(dialog, child);
        if (lstrcmpiW(name, L"Static") != 0) continue;
        ++texts;
        const int length = GetWindowTextW(child, text, 256);
        HDC dc = GetDC(child);
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)));
        SIZE size;
        GetTextExtentPoint32W(dc, text, length, &size);
        ReleaseDC(child, dc);
        const RECT place = ControlPlace(dialog, child);
        EXPECT_GE(place.right - place.left, size.cx) << texts;
        EXPECT_LT(place.right, group.right) << texts;
    }
    EXPECT_EQ(texts, 3);
    const RECT button = ControlPlace(dialog, GetDlgItem(dialog, IDC_WHOLE_PICTURE));
    EXPECT_LT(group.right, button.left);
    EXPECT_LE(button.right, client.right);
}

// A slider drag holds the mouse until its release, wherever that happens; when the system gives
// the mouse to another window the drag ends, and the slider no longer follows the pointer.
TEST_F(PreviewDialog, SliderDragHoldsTheMouseUntilItEnds)
{
    Open(200, 200);
    const int middle = (sliderZone.left + sliderZone.right) / 2;
    const int y = sliderTrack.top;
    state.settings.filterStrength = 50;
    Drag(middle, y, middle + 10, y);
    EXPECT_EQ(GetCapture(), dialog);
    Release();
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(state.settings.filterStrength, 55);

    Drag(middle, y, middle + 10, y);
    SetCapture(mainWindow);
    Move(middle + 30, y);
    EXPECT_EQ(state.settings.filterStrength, 60);
    ReleaseCapture();
}

TEST_F(PreviewDialog, PreviewRunsOnceOnTheNextPaintAndRepeatsExactly)
{
    state.preview.figures.lumaSnr = state.preview.figures.chromaSnr = 0;
    state.settings.filterStrength = 50;
    Open(640, 480);
    EXPECT_TRUE(ShowsText(dialog, panelTextX, lumaFigureY, "EDOM   "));
    EXPECT_TRUE(ShowsText(dialog, panelTextX, chromaFigureY, "EDOM   "));

    Command(IDC_PREVIEW);
    EXPECT_TRUE(state.preview.requested);
    Pump();
    EXPECT_FALSE(state.preview.requested);
    Capture first = CaptureClient(dialog);
    EXPECT_NE(state.preview.figures.lumaSnr, 0.0f);
    EXPECT_FALSE(ShowsText(dialog, panelTextX, lumaFigureY, "EDOM   "));
    const POINT middle = {afterCrop.left + cropSize / 2, afterCrop.top + cropSize / 2};
    EXPECT_NE(first.At(middle.x, middle.y), RGB(255, 255, 255));

    Command(IDC_PREVIEW);
    Pump();
    Capture second = CaptureClient(dialog);
    for (int y = afterCrop.top; y < afterCrop.bottom; ++y)
        for (int x = afterCrop.left; x < afterCrop.right; ++x)
            ASSERT_EQ(first.At(x, y), second.At(x, y)) << x << "," << y;

    // A paint without a pending preview blanks the after-panel.
    InvalidateRect(dialog, nullptr, TRUE);
    UpdateWindow(dialog);
    Pump();
    EXPECT_EQ(CaptureClient(dialog).At(middle.x, middle.y), RGB(255, 255, 255));
}

// The six readout lines of one pixel colour, as the panel writes them.
std::vector<std::string> ReadoutLines(COLORREF colour, int tone)
{
    double l, a, b;
    RgbToLab(tone, GetRValue(colour), GetGValue(colour), GetBValue(colour), l, a, b);
    float h, s, v;
    RgbToHsv(GetRValue(colour), GetGValue(colour), GetBValue(colour), h, s, v);
    const int values[] = {static_cast<int>(std::ceil(l)),
                          static_cast<int>(std::floor(a >= 0 ? a / 93.5833 * 100 : a / 79.2666 * 100)),
                          static_cast<int>(std::ceil(b >= 0 ? b / 93.3626 * 100 : b / 112.057 * 100)),
                          static_cast<int>(h), static_cast<int>(s), static_cast<int>(v)};
    std::vector<std::string> lines;
    for (int value : values) {
        char text[16];
        std::snprintf(text, sizeof text, " %3d", value);
        lines.push_back(text);
    }
    return lines;
}

bool ShowsReadout(HWND dialog, int x, COLORREF colour, int tone = 0)
{
    std::vector<std::string> lines = ReadoutLines(colour, tone);
    for (int i = 0; i < 6; ++i)
        if (!ShowsText(dialog, x, readoutTopY + readoutLineHeight * i, lines[i].c_str())) return false;
    return true;
}

TEST_F(PreviewDialog, ReadoutShowsBothPanelsPixelsThroughTheCurrentToneCurve)
{
    state.settings.colour.toneMode = 0;
    Open(640, 480);
    const int top = 480 - 1 - (176 + 127);
    Move(beforeCrop.left + 76, beforeCrop.top + 66);
    const COLORREF before = Pattern(257 + 76, top + 66);
    EXPECT_TRUE(ShowsReadout(dialog, beforeReadoutX, before));
    EXPECT_TRUE(ShowsReadout(dialog, afterReadoutX, RGB(255, 255, 255)));  // no preview: white
    EXPECT_TRUE(ShowsText(dialog, afterReadoutX, readoutTopY + 3 * readoutLineHeight, "   0"));  // hue
    EXPECT_TRUE(ShowsText(dialog, afterReadoutX, readoutTopY + 5 * readoutLineHeight, " 100"));  // value

    SendDlgItemMessageW(dialog, IDC_TONE_CURVE, CB_SETCURSEL, 3, 0);
    Command(IDC_TONE_CURVE, CBN_SELCHANGE);
    ASSERT_EQ(state.settings.colour.toneMode, 3);
    Move(beforeCrop.left + 76, beforeCrop.top + 67);
    const COLORREF next = Pattern(257 + 76, top + 67);
    EXPECT_TRUE(ShowsReadout(dialog, beforeReadoutX, next, 3));
    EXPECT_FALSE(ShowsReadout(dialog, beforeReadoutX, next));  // the darker curve did change the figures
}

TEST_F(PreviewDialog, SettingsSurviveReopening)
{
    state.settings.brightnessCorrection = 1;
    state.settings.colour.rgbCorrection = 1;
    state.settings.colour.toneMode = 0;
    Open(200, 200);
    HWND combo = GetDlgItem(dialog, IDC_TONE_CURVE);
    const wchar_t* names[] = {L"階調補正なし", L"明るめ", L"ナチュラル", L"暗め"};
    ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 4);
    for (int i = 0; i < 4; ++i) {
        wchar_t text[64] = {};
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        EXPECT_EQ(std::wstring(text), names[i]);
    }
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);

    SendDlgItemMessageW(dialog, IDC_BRIGHTNESS_CORRECTION, BM_CLICK, 0, 0);
    EXPECT_EQ(state.settings.brightnessCorrection, 0);
    SendDlgItemMessageW(dialog, IDC_RGB_CORRECTION, BM_CLICK, 0, 0);
    EXPECT_EQ(state.settings.colour.rgbCorrection, 0);
    SendMessageW(combo, CB_SETCURSEL, 2, 0);
    Command(IDC_TONE_CURVE, CBN_SELCHANGE);
    EXPECT_EQ(state.settings.colour.toneMode, 2);
    state.settings.filterStrength = 30;
    SendMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_FALSE(dialogOpen);
    DestroyWindow(dialog);
    dialog = nullptr;

    Open(200, 200);
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_BRIGHTNESS_CORRECTION), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_RGB_CORRECTION), BST_UNCHECKED);
    EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_TONE_CURVE, CB_GETCURSEL, 0, 0), 2);
    EXPECT_TRUE(ShowsText(dialog, panelTextX, strengthLineY, "   30"));
    state.settings.brightnessCorrection = state.settings.colour.rgbCorrection = 1;
    state.settings.colour.toneMode = 0;
}

std::vector<std::pair<int, int>> progressSeen;
std::string messageText, messageCaption;
QualityFigures resultFigures;
bool progressHiddenAtResult = false;

TEST_F(PreviewDialog, WholePictureEndsTheDialogThenRunsWithProgressAndResult)
{
    frontEnd.showProgress = [](int kind, int percent) {
        progressSeen.emplace_back(kind, percent);
        ShowProgress(kind, percent);
    };
    frontEnd.pause = nullptr;
    frontEnd.showResult = [](const QualityFigures& figures, int, Method) {
        resultFigures = figures;
        progressHiddenAtResult = !IsWindowVisible(progressWindow);
    };
    Open(160, 120);
    std::vector<std::uint8_t> before(heldImage.bits, heldImage.bits + RowStride(160) * 120);

    Command(IDC_WHOLE_PICTURE);
    EXPECT_FALSE(dialogOpen);
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_FALSE(IsWindowVisible(progressWindow));
    const std::vector<std::pair<int, int>> expected = {{1, 0},  {2, 1},  {2, 10}, {2, 20}, {2, 30},
                                                       {2, 40}, {2, 50}, {2, 60}, {2, 70}, {2, 80},
                                                       {2, 90}, {2, 100}, {0, 0}};
    EXPECT_EQ(progressSeen, expected);
    EXPECT_TRUE(progressHiddenAtResult);
    EXPECT_NE(resultFigures.lumaSnr, 0.0f);
    EXPECT_EQ(resultFigures.lumaSnr, state.preview.figures.lumaSnr);  // the dialog shows the figures of the last run
    EXPECT_EQ(resultFigures.chromaSnr, state.preview.figures.chromaSnr);
    EXPECT_NE(std::vector<std::uint8_t>(heldImage.bits, heldImage.bits + before.size()), before);

    MSG paint;
    EXPECT_TRUE(PeekMessageW(&paint, mainWindow, WM_PAINT, WM_PAINT, PM_REMOVE));
}

// A picture whose planes cannot be had: the run refuses it, and the user is told so instead of
// seeing nothing happen.
TEST_F(PreviewDialog, WholePictureTooLargeForMemoryIsReportedAndLeavesThePictureAlone)
{
    frontEnd.showMessage = [](const char* text, const char* caption) {
        messageText = text;
        messageCaption = caption;
    };
    messageText.clear();
    Open(40000, 1);
    std::vector<std::uint8_t> before(heldImage.bits, heldImage.bits + RowStride(40000));
    Command(IDC_WHOLE_PICTURE);
    EXPECT_FALSE(dialogOpen);
    EXPECT_FALSE(IsWindowVisible(progressWindow));
    EXPECT_EQ(messageCaption, " ERROR...");
    EXPECT_EQ(messageText, "画像が大きすぎて処理できません。。。");
    EXPECT_EQ(std::vector<std::uint8_t>(heldImage.bits, heldImage.bits + before.size()), before);
}

// The method list offers both methods, the classic one first and chosen; the adaptive one greys
// the classic choices, and its preview shows, byte for byte, what the whole picture's run gives
// there: a crop inside the picture, one dragged to its top edge, and a picture smaller than the
// crop.
TEST_F(PreviewDialog, AdaptivePreviewIsTheWholeResultAndGreysTheClassicChoices)
{
    const auto chooseAdaptive = [this] {
        SendDlgItemMessageW(dialog, IDC_METHOD, CB_SETCURSEL, 1, 0);
        Command(IDC_METHOD, CBN_SELCHANGE);
    };
    const auto expectPreviewIsWholeResult = [this] {
        Command(IDC_PREVIEW);
        Pump();
        ASSERT_FALSE(state.preview.requested);
        const PictureArea area = CropArea(state.preview.place);
        const int width = heldImage.header->biWidth;
        std::vector<std::uint8_t> preview, whole;
        Command(IDC_WHOLE_PICTURE);
        for (int y = 0; y < area.height; ++y) {
            const std::uint8_t* shown = state.preview.crop.bits + y * RowStride(cropSize);
            const std::uint8_t* result = heldImage.bits + (area.top + y) * RowStride(width) + 3 * area.left;
            preview.insert(preview.end(), shown, shown + 3 * area.width);
            whole.insert(whole.end(), result, result + 3 * area.width);
        }
        EXPECT_EQ(preview, whole) << width << " x " << heldImage.header->biHeight << " at " << area.left << ", "
                                  << area.top;
    };

    Open(640, 480);
    HWND methods = GetDlgItem(dialog, IDC_METHOD);
    ASSERT_EQ(SendMessageW(methods, CB_GETCOUNT, 0, 0), 2);
    const wchar_t* names[] = {L"標準処理", L"適応型処理"};
    for (int i = 0; i < 2; ++i) {
        wchar_t text[64] = {};
        SendMessageW(methods, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        EXPECT_EQ(std::wstring(text), names[i]);
    }
    EXPECT_EQ(SendMessageW(methods, CB_GETCURSEL, 0, 0), 0);
    chooseAdaptive();
    EXPECT_EQ(state.settings.method, Method::Fine);
    for (int id : {IDC_BRIGHTNESS_CORRECTION, IDC_RGB_CORRECTION, IDC_TONE_CURVE})
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, id))) << id;
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_PREVIEW)));
    expectPreviewIsWholeResult();
    Close();

    Open(1024, 200);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_TONE_CURVE)));  // the choice stays
    Drag(beforeCrop.left + 36, beforeCrop.top + 36, beforeCrop.left + 36, beforeCrop.top + 100);
    Release();
    ASSERT_EQ(state.preview.place.rowOffset, 200 - cropSize);
    expectPreviewIsWholeResult();
    Close();

    Open(100, 60);
    expectPreviewIsWholeResult();
    Close();

    Open(200, 200);
    SendDlgItemMessageW(dialog, IDC_METHOD, CB_SETCURSEL, 0, 0);
    Command(IDC_METHOD, CBN_SELCHANGE);
    EXPECT_EQ(state.settings.method, Method::Classic);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_TONE_CURVE)));
}

// The real mouse holds the knob: dragged far left of the dialog and 30 pixels below the track in
// one move, it reaches 1; dragged far right and above, 99; the release lets the mouse go.
TEST_F(PreviewDialog, SliderKnobFollowsTheHeldPointerToBothEnds)
{
    state.settings.filterStrength = 61;
    Open(200, 200);
    SetForegroundWindow(dialog);
    const auto clientPoint = [this](int x, int y) {
        POINT point = {x, y};
        ClientToScreen(dialog, &point);
        return point;
    };
    // The dialog has seen the pointer arrive near the place aimed at (absolute input is scaled
    // to 65536 steps across the screen, so it may land a pixel off).
    const auto seen = [this](POINT screen) {
        POINT at;
        GetCursorPos(&at);
        if (std::abs(at.x - screen.x) > 1 || std::abs(at.y - screen.y) > 1) return false;
        ScreenToClient(dialog, &at);
        return state.lastMousePosition == static_cast<std::uint32_t>(MAKELPARAM(at.x, at.y));
    };
    const POINT knob = clientPoint(sliderTrack.left + 118 + 4, sliderTrack.top + 1);  // strength 61
    window_test::PointerTo(knob);
    ASSERT_TRUE(window_test::PumpUntil(Pump, [&] { return seen(knob) && state.sliderHover; }));
    window_test::LeftButton(true);
    ASSERT_TRUE(window_test::PumpUntil(Pump, [&] { return state.sliderAnchorPosition != 0; }));

    const POINT farLeft = {0, knob.y + 30};
    window_test::PointerTo(farLeft);
    ASSERT_TRUE(window_test::PumpUntil(Pump, [&] { return seen(farLeft); }));
    EXPECT_EQ(int{state.settings.filterStrength}, 1);
    const POINT farRight = {GetSystemMetrics(SM_CXSCREEN) - 1, knob.y - 30};
    window_test::PointerTo(farRight);
    ASSERT_TRUE(window_test::PumpUntil(Pump, [&] { return seen(farRight); }));
    EXPECT_EQ(int{state.settings.filterStrength}, 99);
    EXPECT_TRUE(ShowsText(dialog, panelTextX, strengthLineY, "   99"));

    window_test::LeftButton(false);
    ASSERT_TRUE(window_test::PumpUntil(Pump, [&] { return state.sliderAnchorPosition == 0; }));
    EXPECT_EQ(GetCapture(), nullptr);
    window_test::PointerTo({0, 0});  // away from the dialogs of the other tests
    window_test::PumpUntil(Pump, [] {
        POINT at;
        GetCursorPos(&at);
        return at.x <= 1 && at.y <= 1;
    });
}

// Tab takes the keyboard through every control, the slider included, from Preview where it
// starts; the slider's keys move it; Space on "全画面処理" processes the whole picture.
TEST_F(PreviewDialog, KeyboardReachesEveryControlAndMovesTheSlider)
{
    state.settings.filterStrength = 50;
    Open(160, 120);
    SetForegroundWindow(dialog);
    ASSERT_TRUE(window_test::PumpUntil(Pump, [&] { return GetFocus() == GetDlgItem(dialog, IDC_PREVIEW); }))
        << GetDlgCtrlID(GetFocus());
    const int order[] = {IDC_TONE_CURVE,     IDC_METHOD,          IDC_WHOLE_PICTURE,
                         IDC_CANCEL_BUTTON,  IDC_STRENGTH_SLIDER, IDC_BRIGHTNESS_CORRECTION,
                         IDC_RGB_CORRECTION, IDC_PREVIEW};
    for (int id : order) {
        window_test::PressKey(VK_TAB);
        EXPECT_TRUE(window_test::PumpUntil(Pump, [&] { return GetFocus() == GetDlgItem(dialog, id); })) << id;
    }

    SetFocus(GetDlgItem(dialog, IDC_STRENGTH_SLIDER));
    const struct {
        WORD key;
        int strength;
    } keys[] = {{VK_RIGHT, 51}, {VK_UP, 52},  {VK_LEFT, 51},  {VK_DOWN, 50}, {VK_PRIOR, 60},
                {VK_NEXT, 50},  {VK_END, 99}, {VK_RIGHT, 99}, {VK_HOME, 1},  {VK_LEFT, 1}};
    for (const auto& k : keys) {
        window_test::PressKey(k.key);
        EXPECT_TRUE(window_test::PumpUntil(Pump, [&] { return state.settings.filterStrength == k.strength; }))
            << k.key << " gave " << int(state.settings.filterStrength);
    }
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_STRENGTH_SLIDER));  // the arrows stayed with the slider
    EXPECT_TRUE(ShowsText(dialog, panelTextX, strengthLineY, "    1"));

    const std::vector<std::uint8_t> before(heldImage.bits, heldImage.bits + RowStride(160) * 120);
    SetFocus(GetDlgItem(dialog, IDC_WHOLE_PICTURE));
    window_test::PressKey(VK_SPACE);
    ASSERT_TRUE(window_test::PumpUntil(Pump, [&] { return !dialogOpen; }));
    EXPECT_NE(std::vector<std::uint8_t>(heldImage.bits, heldImage.bits + before.size()), before);
}

}  // namespace
