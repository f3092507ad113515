#include "ui/preview_paint.h"

#include <cstdio>
#include <cstring>

#include "ui/app_state.h"
#include "ui/draw_helpers.h"
#include "ui/preview_layout.h"
#include "ui/preview_render.h"

namespace {

void CopyTile(HDC dc, int x, int y, AtlasPlace from)
{
    BitBlt(dc, x, y, tileSide, tileSide, SkinAtlas, from.x, from.y, SRCCOPY);
}

bool Inside(const RECT& panel, int x, int y)
{
    return panel.left <= x && x <= panel.right && panel.top <= y && y <= panel.bottom;
}

void DrawTiles(HDC dc)
{
    const int left = tiledArea.left;
    const int top = tiledArea.top;
    CopyTile(dc, left, top, cornerTile);
    for (int r = 1; r < tileRows; ++r) CopyTile(dc, left, top + tileSide * r, verticalEdgeTile);
    for (int c = 1; c < tileColumns; ++c) CopyTile(dc, left + tileSide * c, top, horizontalEdgeTile);
    for (int r = 1; r < tileRows; ++r) {
        for (int c = 1; c < tileColumns; ++c) {
            int x = left + tileSide * c;
            int y = top + tileSide * r;
            if (Inside(beforePanel, x, y) || Inside(infoPanel, x, y) || Inside(afterPanel, x, y)) continue;
            CopyTile(dc, x, y, backgroundTile);
        }
    }
}

// An 8-pixel band along the right and the bottom of a box, starting 8 pixels in from its top and
// its left, with the background tile in the two cells before those starts.
void DrawShadow(HDC dc, const RECT& box)
{
    const int t = tileSide;
    CopyTile(dc, box.right, box.top, backgroundTile);
    CopyTile(dc, box.right, box.top + t, shadowTopEndTile);
    CopyTile(dc, box.right, box.bottom, shadowCornerTile);
    CopyTile(dc, box.left + t, box.bottom, shadowLeftEndTile);
    CopyTile(dc, box.left, box.bottom, backgroundTile);
    for (int k = 1; k <= (box.bottom - box.top - 2 * t) / t; ++k)
        CopyTile(dc, box.right, box.bottom - t * k, verticalEdgeTile);
    for (int k = 1; k <= (box.right - box.left - 2 * t) / t; ++k)
        CopyTile(dc, box.right - t * k, box.bottom, horizontalEdgeTile);
}

void DrawLabel(HDC dc, int x, AtlasPlace from)
{
    BitBlt(dc, x, panelLabelY, labelSize.cx, labelSize.cy, SkinAtlas, from.x, from.y, SRCCOPY);
}

void DrawInfoBox(HDC dc, const RECT& box)
{
    DrawShadow(dc, box);
    RECT black = {box.left, box.top, box.left + boxBlackWidth, box.bottom};
    RECT grey = {box.left + boxBlackWidth, box.top, box.right, box.bottom};
    FillRect(dc, &black, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    FillRect(dc, &grey, static_cast<HBRUSH>(GetStockObject(DKGRAY_BRUSH)));
}

void DrawGlyph(HDC dc, int y, AtlasPlace from)
{
    BitBlt(dc, glyphColumn.left, y, glyphSide, glyphSide, SkinAtlas, from.x, from.y, SRCCOPY);
}

void DrawInfoPanel(HDC dc)
{
    DrawInfoBox(dc, strengthBox);
    DrawInfoBox(dc, valueBox);
    DrawInfoBox(dc, qualityBox);
    FillRect(dc, &glyphColumn, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));

    DrawGlyph(dc, strengthLineY, strengthGlyph);
    for (int i = 0; i < 6; ++i) DrawGlyph(dc, readoutTopY + readoutLineHeight * i, readoutGlyphs[i]);
    DrawGlyph(dc, lumaFigureY, lumaMark);
    DrawGlyph(dc, chromaFigureY, chromaMark);
}

// 0 stands for a figure that could not be measured.
void WriteFigure(HDC dc, int y, float figure)
{
    char text[32];
    if (figure == 0) std::snprintf(text, sizeof text, "EDOM   ");
    else std::snprintf(text, sizeof text, "%.4f ", figure);
    TextOutA(dc, panelTextX, y, text, static_cast<int>(std::strlen(text)));
}

void WriteSliderLabels(HDC dc)
{
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    SetTextColor(dc, RGB(64, 64, 64));
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    TextOutA(dc, sliderTrack.left, sliderLabelY, "1...", 4);
    SetTextAlign(dc, TA_CENTER | TA_TOP);
    TextOutA(dc, (sliderTrack.left + sliderTrack.right) / 2, sliderLabelY, "...50...", 8);
    SetTextAlign(dc, TA_RIGHT | TA_TOP);
    TextOutA(dc, sliderTrack.right, sliderLabelY, "...99", 5);
}

}  // namespace

void UsePanelTextStyle(HDC dc)
{
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(64, 64, 64));
    SetTextColor(dc, RGB(200, 200, 200));
    SetTextAlign(dc, TA_LEFT | TA_TOP);
}

void WritePanelField(HDC dc, int x, int y, int right, const char* text)
{
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    const RECT field = {x, y, right, y + metrics.tmHeight};
    ExtTextOutA(dc, x, y, ETO_OPAQUE, &field, text, static_cast<UINT>(std::strlen(text)), nullptr);
}

void WriteStrength(HDC dc, int strength)
{
    char text[16];
    std::snprintf(text, sizeof text, "%5d", strength);
    WritePanelField(dc, panelTextX, strengthLineY, strengthBox.right, text);
}

void PaintPreviewDialog(HDC dc, const DenoiseSettings& settings, PreviewState& preview)
{
    RenderPreview(dc, settings, preview);
    DrawBevelFrame(dc, customFrame, 1.0f, 3.0f, 0.2f);
    DrawTiles(dc);

    DrawLabel(dc, beforePanel.left, beforeLabel);
    DrawShadow(dc, beforeCrop);
    DrawLabel(dc, afterPanel.left, afterLabel);
    DrawShadow(dc, afterCrop);
    DrawInfoPanel(dc);

    DrawStrengthSlider(dc, settings.filterStrength);
    UsePanelTextStyle(dc);
    WriteStrength(dc, settings.filterStrength);
    WriteFigure(dc, lumaFigureY, preview.figures.lumaSnr);
    WriteFigure(dc, chromaFigureY, preview.figures.chromaSnr);
    WriteSliderLabels(dc);
}
