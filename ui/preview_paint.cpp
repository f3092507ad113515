#include "ui/preview_paint.h"

#include <cstdio>
#include <cstring>

#include "engine/settings.h"
#include "ui/app_state.h"
#include "ui/draw_helpers.h"
#include "ui/preview_render.h"

namespace {

constexpr RECT beforePanel = {24, 24, 152, 153};
constexpr RECT infoPanel = {160, 32, 232, 145};
constexpr RECT afterPanel = {240, 24, 368, 153};
constexpr int tileOrigin = 8;
constexpr int tile = 8;
constexpr int tileColumns = 47;
constexpr int tileRows = 20;

struct AtlasPoint { int x, y; };
constexpr AtlasPoint cornerTile = {0, 0};
constexpr AtlasPoint horizontalEdgeTile = {8, 0};
constexpr AtlasPoint verticalEdgeTile = {0, 8};
constexpr AtlasPoint backgroundTile = {8, 8};
constexpr AtlasPoint shadowTopEndTile = {24, 0};
constexpr AtlasPoint shadowLeftEndTile = {16, 8};
constexpr AtlasPoint shadowCornerTile = {24, 8};
constexpr AtlasPoint beforeLabel = {32, 0};
constexpr AtlasPoint afterLabel = {32, 8};

void CopyTile(HDC dc, int x, int y, AtlasPoint from)
{
    BitBlt(dc, x, y, tile, tile, SkinAtlas, from.x, from.y, SRCCOPY);
}

bool Inside(const RECT& panel, int x, int y)
{
    return panel.left <= x && x <= panel.right && panel.top <= y && y <= panel.bottom;
}

void DrawTiles(HDC dc)
{
    CopyTile(dc, tileOrigin, tileOrigin, cornerTile);
    for (int r = 1; r < tileRows; ++r) CopyTile(dc, tileOrigin, tileOrigin + tile * r, verticalEdgeTile);
    for (int c = 1; c < tileColumns; ++c) CopyTile(dc, tileOrigin + tile * c, tileOrigin, horizontalEdgeTile);
    for (int r = 1; r < tileRows; ++r) {
        for (int c = 1; c < tileColumns; ++c) {
            int x = tileOrigin + tile * c;
            int y = tileOrigin + tile * r;
            if (Inside(beforePanel, x, y) || Inside(infoPanel, x, y) || Inside(afterPanel, x, y)) continue;
            CopyTile(dc, x, y, backgroundTile);
        }
    }
}

// An 8-pixel band along the right and the bottom of a box, starting 8 pixels in from its top and
// its left, with the background tile in the two cells before those starts.
void DrawShadow(HDC dc, int left, int top, int right, int edge)
{
    CopyTile(dc, right, top, backgroundTile);
    CopyTile(dc, right, top + 8, shadowTopEndTile);
    CopyTile(dc, right, edge, shadowCornerTile);
    CopyTile(dc, left + 8, edge, shadowLeftEndTile);
    CopyTile(dc, left, edge, backgroundTile);
    for (int k = 1; k <= (edge - top - 16) / 8; ++k) CopyTile(dc, right, edge - 8 * k, verticalEdgeTile);
    for (int k = 1; k <= (right - left - 16) / 8; ++k) CopyTile(dc, right - 8 * k, edge, horizontalEdgeTile);
}

void DrawInfoBox(HDC dc, const RECT& box)
{
    DrawShadow(dc, box.left, box.top, box.right, box.bottom);
    RECT black = {box.left, box.top, box.left + 24, box.bottom};
    RECT grey = {box.left + 24, box.top, box.right, box.bottom};
    FillRect(dc, &black, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    FillRect(dc, &grey, static_cast<HBRUSH>(GetStockObject(DKGRAY_BRUSH)));
}

void DrawGlyph(HDC dc, int y, AtlasPoint from)
{
    BitBlt(dc, 168, y, 7, 7, SkinAtlas, from.x, from.y, SRCCOPY);
}

void DrawInfoPanel(HDC dc)
{
    DrawInfoBox(dc, {160, 32, 232, 48});
    DrawInfoBox(dc, {160, 56, 232, 112});
    DrawInfoBox(dc, {160, 120, 232, 144});
    RECT glyphColumn = {168, 32, 176, 145};
    FillRect(dc, &glyphColumn, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));

    DrawGlyph(dc, 36, {21, 43});  // f: filter strength
    const AtlasPoint letters[] = {{7, 43}, {7, 50}, {7, 57}, {14, 43}, {14, 50}, {14, 57}};  // L a b H S V
    for (int i = 0; i < 6; ++i) DrawGlyph(dc, 60 + 8 * i, letters[i]);
    DrawGlyph(dc, 124, {21, 50});  // luminance figure
    DrawGlyph(dc, 132, {21, 57});  // chroma figure
}

// 0 stands for a figure that could not be measured.
void WriteFigure(HDC dc, int y, float figure)
{
    char text[32];
    if (figure == 0) std::snprintf(text, sizeof text, "EDOM   ");
    else std::snprintf(text, sizeof text, "%.4f ", figure);
    TextOutA(dc, 188, y, text, static_cast<int>(std::strlen(text)));
}

void WriteSliderLabels(HDC dc)
{
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    SetTextColor(dc, RGB(64, 64, 64));
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    TextOutA(dc, 100, 184, "1...", 4);
    SetTextAlign(dc, TA_CENTER | TA_TOP);
    TextOutA(dc, 200, 184, "...50...", 8);
    SetTextAlign(dc, TA_RIGHT | TA_TOP);
    TextOutA(dc, 300, 184, "...99", 5);
}

}  // namespace

void UsePanelTextStyle(HDC dc)
{
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(64, 64, 64));
    SetTextColor(dc, RGB(200, 200, 200));
    SetTextAlign(dc, TA_LEFT | TA_TOP);
}

void WriteStrength(HDC dc)
{
    char text[16];
    std::snprintf(text, sizeof text, "%5d", filterStrength);
    TextOutA(dc, 188, 36, text, static_cast<int>(std::strlen(text)));
}

bool PaintPreviewDialog(HDC dc)
{
    RenderPreview(dc);
    drawRect = {8, 8, afterPanel.right + 16, beforePanel.bottom + 14};
    DrawBevelFrame(dc, 1.0f, 3.0f, 0.2f);
    DrawTiles(dc);

    BitBlt(dc, 24, 16, 32, 8, SkinAtlas, beforeLabel.x, beforeLabel.y, SRCCOPY);
    DrawShadow(dc, 24, 24, 152, 152);
    BitBlt(dc, 240, 16, 32, 8, SkinAtlas, afterLabel.x, afterLabel.y, SRCCOPY);
    DrawShadow(dc, 240, 24, 368, 152);
    DrawInfoPanel(dc);

    DrawStrengthSlider(dc);
    UsePanelTextStyle(dc);
    WriteStrength(dc);
    WriteFigure(dc, 124, lumaSnr);
    WriteFigure(dc, 132, chromaSnr);
    WriteSliderLabels(dc);
    return true;
}
