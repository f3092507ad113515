#pragma once
// Where the preview dialog draws and where it answers the mouse, in client pixels, and where the
// skin atlas keeps the pictures it draws with. The dialog, its painting, its rendering, the
// slider and the tests all take their places from here.
#include <windows.h>

// The crops: 128 x 128 pictures at the top-left of their panels.
inline constexpr int cropSize = 128;
inline constexpr RECT beforeCrop = {24, 24, 24 + cropSize, 24 + cropSize};
inline constexpr RECT afterCrop = {240, 24, 240 + cropSize, 24 + cropSize};

// A panel reaches one line below its crop. The tiles keep clear of that line, the frame is laid
// out from it and the hand cursor covers it; the pictures, the white after-fill, the drag zone and
// the drop shadows stop at the crop's lower edge.
inline constexpr RECT beforePanel = {beforeCrop.left, beforeCrop.top, beforeCrop.right, beforeCrop.bottom + 1};
inline constexpr RECT afterPanel = {afterCrop.left, afterCrop.top, afterCrop.right, afterCrop.bottom + 1};

// The labels BEFORE and AFTER stand on the line of tiles above their panels.
inline constexpr int panelLabelY = 16;

// The information panel: three boxes, black in their left part and dark grey in the rest, and a
// black column across all three on which the glyphs stand.
inline constexpr RECT infoPanel = {160, 32, 232, 145};
inline constexpr RECT strengthBox = {160, 32, 232, 48};
inline constexpr RECT valueBox = {160, 56, 232, 112};
inline constexpr RECT qualityBox = {160, 120, 232, 144};
inline constexpr int boxBlackWidth = 24;
inline constexpr RECT glyphColumn = {168, 32, 176, 145};
inline constexpr int glyphSide = 7;

// Lines of the information panel: the glyphs at the column's left, the texts beside them.
inline constexpr int strengthLineY = 36;
inline constexpr int readoutTopY = 60;      // L, a, b, H, S, V, one line each
inline constexpr int readoutLineHeight = 8;
inline constexpr int lumaFigureY = 124;
inline constexpr int chromaFigureY = 132;
inline constexpr int panelTextX = 188;      // the strength value and the two quality figures
inline constexpr int beforeReadoutX = 184;  // the readout of the pixel in the before-panel
inline constexpr int afterReadoutX = 204;   // and of the same place in the after-panel

// The tiled area: 47 x 20 cells of 8 x 8 from (8, 8). The bevel frame goes one line inside its
// lower edge, laid out from the after-panel's right and the before-panel's bottom.
inline constexpr int tileSide = 8;
inline constexpr int tileColumns = 47;
inline constexpr int tileRows = 20;
inline constexpr RECT tiledArea = {8, 8, 8 + tileSide * tileColumns, 8 + tileSide * tileRows};
inline constexpr RECT customFrame = {tiledArea.left, tiledArea.top, afterPanel.right + 16, beforePanel.bottom + 14};

// The filter-strength slider: its track, the block around it that each knob move restores, the
// knob's place and size, the zone that answers the mouse (strictly inside) and the labels 16
// pixels above the track at its left end, its middle and its right end.
inline constexpr RECT sliderTrack = {100, 200, 300, 203};
inline constexpr RECT sliderBlock = {92, 192, 92 + 256, 192 + 20};
inline constexpr SIZE knobSize = {8, 20};
inline constexpr RECT sliderZone = {100, 191, 300, 212};
inline constexpr int sliderLabelY = sliderTrack.top - 16;

// The crop drag and the readout answer strictly inside the before-crop, the hand cursor strictly
// inside the before-panel.
inline bool StrictlyInside(const RECT& area, int x, int y)
{
    return area.left < x && x < area.right && area.top < y && y < area.bottom;
}

// Pictures of the skin atlas, by their top-left corner in it.
struct AtlasPlace {
    int x, y;
};
inline constexpr AtlasPlace cornerTile = {0, 0};
inline constexpr AtlasPlace horizontalEdgeTile = {8, 0};
inline constexpr AtlasPlace verticalEdgeTile = {0, 8};
inline constexpr AtlasPlace backgroundTile = {8, 8};
inline constexpr AtlasPlace shadowTopEndTile = {24, 0};
inline constexpr AtlasPlace shadowLeftEndTile = {16, 8};
inline constexpr AtlasPlace shadowCornerTile = {24, 8};
inline constexpr AtlasPlace beforeLabel = {32, 0};
inline constexpr AtlasPlace afterLabel = {32, 8};
inline constexpr SIZE labelSize = {32, 8};
inline constexpr AtlasPlace knobPicture = {0, 16};
inline constexpr AtlasPlace strengthGlyph = {21, 43};  // f
// L, a, b, H, S, V
inline constexpr AtlasPlace readoutGlyphs[6] = {{7, 43}, {7, 50}, {7, 57}, {14, 43}, {14, 50}, {14, 57}};
inline constexpr AtlasPlace lumaMark = {21, 50};
inline constexpr AtlasPlace chromaMark = {21, 57};
