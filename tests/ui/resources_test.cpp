// The program's resources as the windows use them: the preview dialog's template, the cursors'
// hot spots, the icon's sizes and the places of the skin atlas's pictures.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/preview_layout.h"
#include "window_test_support.h"

using namespace window_test;

namespace {

// Reads a DLGTEMPLATEEX: all fields little-endian words, strings UTF-16, items DWORD-aligned.
struct TemplateReader {
    const std::uint8_t* start;
    const std::uint8_t* p;

    std::uint16_t Word()
    {
        std::uint16_t v;
        std::memcpy(&v, p, 2);
        p += 2;
        return v;
    }
    std::uint32_t Dword() { return Word() | (static_cast<std::uint32_t>(Word()) << 16); }
    std::wstring Text()
    {
        std::wstring s;
        for (wchar_t c; (c = static_cast<wchar_t>(Word())) != 0;) s += c;
        return s;
    }
    // A string, or 0xFFFF and an ordinal (returned as "#n").
    std::wstring TextOrOrdinal()
    {
        std::uint16_t first;
        std::memcpy(&first, p, 2);
        if (first != 0xFFFF) return Text();
        Word();
        return L"#" + std::to_wstring(Word());
    }
    void AlignToDword()
    {
        while ((p - start) % 4) ++p;
    }
};

struct Control {
    int id;
    const wchar_t* className;
    const wchar_t* caption;
    DWORD style;  // beyond WS_CHILD | WS_VISIBLE
    short x, y, cx, cy;
};

const wchar_t* const button = L"BUTTON";
const wchar_t* const staticText = L"STATIC";
const wchar_t* const comboBox = L"COMBOBOX";

// The system classes may be named or given by their ordinals.
std::wstring ClassName(const std::wstring& nameOrOrdinal)
{
    if (nameOrOrdinal == L"#128") return button;
    if (nameOrOrdinal == L"#130") return staticText;
    if (nameOrOrdinal == L"#133") return comboBox;
    return nameOrOrdinal;
}

TEST(Resources, PreviewDialogTemplateMatchesTheDialogsLayout)
{
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_PREVIEW), reinterpret_cast<LPCWSTR>(RT_DIALOG));
    ASSERT_NE(found, nullptr);
    auto* data = static_cast<const std::uint8_t*>(LockResource(LoadResource(nullptr, found)));
    TemplateReader t{data, data};
    EXPECT_EQ(t.Word(), 1);
    EXPECT_EQ(t.Word(), 0xFFFF);
    t.Dword();
    EXPECT_EQ(t.Dword(), static_cast<DWORD>(WS_EX_NOPARENTNOTIFY));
    EXPECT_EQ(t.Dword(), static_cast<DWORD>(WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFOREGROUND |
                                            DS_SETFONT));
    const int count = t.Word();
    const short geometry[4] = {static_cast<short>(t.Word()), static_cast<short>(t.Word()),
                               static_cast<short>(t.Word()), static_cast<short>(t.Word())};
    EXPECT_EQ(geometry[0], 0);
    EXPECT_EQ(geometry[1], 0);
    EXPECT_EQ(geometry[2], 227);
    EXPECT_EQ(geometry[3], 259);
    EXPECT_EQ(t.TextOrOrdinal(), L"");  // no menu
    EXPECT_EQ(t.TextOrOrdinal(), L"");  // the standard dialog class
    EXPECT_EQ(t.Text(), L" Preview - Quorvane");
    EXPECT_EQ(t.Word(), 9);
    t.Word();
    t.Word();  // italic and character set
    EXPECT_EQ(t.Text(), L"MS UI Gothic");

    const Control expected[] = {
        {1012, button, L"全画面処理", BS_PUSHBUTTON | BS_MULTILINE, 172, 196, 48, 28},
        {1015, button, L"Preview", BS_DEFPUSHBUTTON | WS_TABSTOP, 93, 148, 40, 24},
        {1018, button, L"キャンセル", BS_PUSHBUTTON, 172, 228, 48, 20},
        {1067, button, L"明るさの補正", BS_AUTOCHECKBOX | WS_TABSTOP, 24, 148, 52, 10},
        {1068, button, L"RGBの補正", BS_AUTOCHECKBOX | WS_TABSTOP, 24, 160, 49, 10},
        {1078, comboBox, L"", CBS_DROPDOWNLIST | WS_TABSTOP | CBS_DISABLENOSCROLL, 152, 148, 52, 58},
        {-1, button, L" 左に処理済画像が表示されます ", BS_GROUPBOX, 8, 192, 156, 56},
        {-1, staticText, L"1) スライダーかマウスホイールでフィルタ効果を調整、", WS_GROUP, 16, 208, 140, 8},
        {-1, staticText, L"『Preview』 ボタンを押して確認します。", WS_GROUP, 24, 220, 105, 8},
        {-1, staticText, L"2) OKAY なら\u3000『全画面処理』\u3000を押して下さい。", WS_GROUP, 16, 232, 133, 8},
    };
    ASSERT_EQ(count, static_cast<int>(std::size(expected)));
    for (const Control& c : expected) {
        SCOPED_TRACE(c.id);
        t.AlignToDword();
        t.Dword();  // help id
        EXPECT_EQ(t.Dword(), 0u);
        EXPECT_EQ(t.Dword(), static_cast<DWORD>(WS_CHILD | WS_VISIBLE) | c.style);
        EXPECT_EQ(static_cast<short>(t.Word()), c.x);
        EXPECT_EQ(static_cast<short>(t.Word()), c.y);
        EXPECT_EQ(static_cast<short>(t.Word()), c.cx);
        EXPECT_EQ(static_cast<short>(t.Word()), c.cy);
        EXPECT_EQ(static_cast<int>(t.Dword()), c.id);
        EXPECT_EQ(ClassName(t.TextOrOrdinal()), c.className);
        EXPECT_EQ(t.TextOrOrdinal(), c.caption);
        t.p += t.Word();  // creation data
    }
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
