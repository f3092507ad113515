// The program's resources as the windows use them: the preview dialog's template, the cursors'
// hot spots, the icon's sizes and the places of the skin atlas's pictures.
#include <gtest/gtest.h>

#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "ui/preview_layout.h"
#include "window_test_support.h"

using namespace window_test;

namespace {

INT_PTR CALLBACK NoHandling(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// The preview dialog as the program gets it: under each number the control the code talks to,
// and every text intact (the script is UTF-8; a lost code page would garble the Japanese).
TEST(Resources, PreviewDialogShowsItsControlsUnderTheirNumbersWithTheirTexts)
{
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PREVIEW), nullptr, NoHandling, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Title(dialog), L" Preview - Quorvane");
    const struct {
        int id;
        const wchar_t* className;
        const wchar_t* text;
    } controls[] = {
        {IDC_WHOLE_PICTURE, L"Button", L"全画面処理"},
        {IDC_PREVIEW, L"Button", L"Preview"},
        {IDC_CANCEL_BUTTON, L"Button", L"キャンセル"},
        {IDC_BRIGHTNESS_CORRECTION, L"Button", L"明るさの補正"},
        {IDC_RGB_CORRECTION, L"Button", L"RGBの補正"},
        {IDC_TONE_CURVE, L"ComboBox", L""},
        {IDC_METHOD, L"ComboBox", L""},
        {-1, L"Button", L" 左に処理済画像が表示されます "},
        {-1, L"Static", L"1) スライダーかマウスホイールでフィルタ効果を調整、"},
        {-1, L"Static", L"『Preview』 ボタンを押して確認します。"},
        {-1, L"Static", L"2) OKAY なら\u3000『全画面処理』\u3000を押して下さい。"},
    };
    HWND child = GetWindow(dialog, GW_CHILD);
    for (const auto& c : controls) {
        ASSERT_NE(child, nullptr) << c.id;
        wchar_t className[32] = {};
        GetClassNameW(child, className, 32);
        EXPECT_EQ(static_cast<WORD>(GetDlgCtrlID(child)), static_cast<WORD>(c.id));
        EXPECT_EQ(_wcsicmp(className, c.className), 0) << c.id;
        EXPECT_EQ(Title(child), c.text) << c.id;
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr);
    DestroyWindow(dialog);
}

TEST(Resources, HandCursorsHaveTheirHotSpots)
{
    const struct {
        int id;
        DWORD x, y;
    } cursors[] = {{IDC_OPEN_HAND, 6, 10}, {IDC_CLOSED_HAND, 7, 10}};
    for (const auto& c : cursors) {
        HCURSOR cursor = LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(c.id));
        ASSERT_NE(cursor, nullptr) << c.id;
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(cursor, &info));
        EXPECT_EQ(info.xHotspot, c.x) << c.id;
        EXPECT_EQ(info.yHotspot, c.y) << c.id;
        BITMAP mask;
        GetObjectW(info.hbmMask, sizeof(mask), &mask);
        EXPECT_EQ(mask.bmWidth, 32);
        EXPECT_EQ(info.hbmColor, nullptr);  // monochrome
        DeleteObject(info.hbmMask);
    }
}

TEST(Resources, IconComesInBothSizes)
{
    for (int side : {16, 32}) {
        HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_QUORVANE), IMAGE_ICON, side,
                                                   side, LR_DEFAULTCOLOR));
        ASSERT_NE(icon, nullptr) << side;
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP colour;
        GetObjectW(info.hbmColor, sizeof(colour), &colour);
        EXPECT_EQ(colour.bmWidth, side);
        // Where the mask lets the screen through, the colour must be black, or the corners of
        // every title bar show it.
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, info.hbmColor);
        const Capture colours = CaptureDc(dc, side, side);
        SelectObject(dc, info.hbmMask);
        const Capture mask = CaptureDc(dc, side, side);
        SelectObject(dc, old);
        DeleteDC(dc);
        int transparent = 0;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                if (mask.At(x, y) != RGB(255, 255, 255)) continue;
                ++transparent;
                EXPECT_EQ(colours.At(x, y), RGB(0, 0, 0)) << side << ": " << x << "," << y;
            }
        }
        EXPECT_GT(transparent, 0) << side;
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

TEST(Resources, SkinAtlasHoldsItsPicturesWhereTheDialogCopiesThem)
{
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_SKIN_ATLAS), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_NE(bitmap, nullptr);
    BITMAP info;
    GetObjectW(bitmap, sizeof(info), &info);
    EXPECT_EQ(info.bmWidth, 64);
    EXPECT_EQ(info.bmHeight, 64);
    EXPECT_EQ(info.bmBitsPixel, 24);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const Capture atlas = CaptureDc(dc, 64, 64);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);

    // Background tile: grey 118 squares at top-left and bottom-right, white elsewhere.
    const AtlasPlace background = backgroundTile;
    for (int y = 0; y < tileSide; ++y) {
        for (int x = 0; x < tileSide; ++x) {
            const bool grey = (x < 4) == (y < 4);
            EXPECT_EQ(atlas.At(background.x + x, background.y + y), grey ? RGB(118, 118, 118) : RGB(255, 255, 255))
                << x << "," << y;
        }
    }
    // Shadow tiles are darker than the background tile they stand beside.
    for (const AtlasPlace tile : {cornerTile, horizontalEdgeTile, verticalEdgeTile, shadowCornerTile}) {
        EXPECT_LT(GetRValue(atlas.At(tile.x, tile.y)), 118) << tile.x << "," << tile.y;
    }
    // Labels: light letters on dark grey; something is written on each.
    for (const AtlasPlace label : {beforeLabel, afterLabel}) {
        EXPECT_EQ(atlas.At(label.x, label.y), RGB(64, 64, 64));
        int light = 0;
        for (int y = label.y; y < label.y + labelSize.cy; ++y) {
            for (int x = label.x; x < label.x + labelSize.cx; ++x) light += GetRValue(atlas.At(x, y)) > 150;
        }
        EXPECT_GT(light, 20) << label.y;
    }
    // Knob: black outline inside its 8 x 20 cell, white (transparent) corners, no white inside.
    const AtlasPlace knob = knobPicture;
    EXPECT_EQ(atlas.At(knob.x, knob.y), RGB(255, 255, 255));
    EXPECT_EQ(atlas.At(knob.x, knob.y + 10), RGB(0, 0, 0));
    EXPECT_EQ(atlas.At(knob.x + knobSize.cx - 1, knob.y + 10), RGB(0, 0, 0));
    EXPECT_NE(atlas.At(knob.x + 3, knob.y + 5), RGB(255, 255, 255));
    // Glyphs: light marks on black, so they stand on the panel's black column.
    std::vector<AtlasPlace> glyphs(std::begin(readoutGlyphs), std::end(readoutGlyphs));
    glyphs.insert(glyphs.end(), {strengthGlyph, lumaMark, chromaMark});
    for (const AtlasPlace glyph : glyphs) {
        EXPECT_EQ(atlas.At(glyph.x, glyph.y), RGB(0, 0, 0));
        int marks = 0;
        for (int y = 0; y < glyphSide; ++y) {
            for (int x = 0; x < glyphSide; ++x) marks += atlas.At(glyph.x + x, glyph.y + y) != RGB(0, 0, 0);
        }
        EXPECT_GE(marks, 5) << glyph.x << "," << glyph.y;
    }
}

}  // namespace
