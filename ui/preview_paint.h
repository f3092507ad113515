#pragma once
// The custom area of the preview dialog: the two panels in a frame of tiles, the information panel
// with its glyphs and figures, and the filter-strength slider with its labels.
#include <windows.h>

#include "ui/preview_render.h"

// Everything the dialog writes in its panels: light grey on dark grey, opaque.
void UsePanelTextStyle(HDC dc);

// Writes a figure over its field, cleared from x to right for the height of the text: the panel's
// font is proportional, so a shorter figure would otherwise leave digits of the previous one.
void WritePanelField(HDC dc, int x, int y, int right, const char* text);

// Writes the filter strength in the strength box.
void WriteStrength(HDC dc, int strength);

// Redraws the whole custom area, running a requested preview; dc is the dialog's window context
// with its font selected.
void PaintPreviewDialog(HDC dc, const DenoiseSettings& settings, PreviewState& preview);
