#pragma once
// The modal preview dialog (template IDD_PREVIEW): the processing settings, the before and after
// crops with the readout under the mouse, and the start of the whole-picture run.
#include <windows.h>

#include <cstdint>

#include "engine/settings.h"
#include "resources/resource_ids.h"
#include "ui/preview_render.h"

// What the dialog keeps between openings; the crop's place is centred anew at each. The main
// window keeps one for the program's life and hands it in as DialogBoxParamW's parameter. Mouse
// positions are packed as the mouse messages deliver them: x in the low 16 bits, y in the high.
struct PreviewDialogState {
    // The processing settings, as the dialog's controls set them: the method (remembered in the
    // settings file), the others at their defaults at every start. Every run is handed them.
    DenoiseSettings settings;
    PreviewState preview;
    std::uint32_t lastMousePosition = 0;  // the last move that differed from the one before
    std::uint8_t sliderHover = 0;
    std::uint32_t sliderAnchorPosition = 0;  // 0: no slider drag
    std::int8_t sliderAnchorValue = 0;
    std::uint8_t cropHover = 0;
    std::uint8_t cropDragging = 0;
    std::uint32_t dragStart = 0;
    std::int32_t committedX = 0, committedY = 0;
    std::int32_t liveX = 0, liveY = 0;
};

// WM_INITDIALOG's lParam is the PreviewDialogState the dialog works with until it ends.
INT_PTR CALLBACK PreviewDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Where a control stands, in the dialog's client pixels.
RECT ControlPlace(HWND dialog, HWND control);

// The hand over the before-panel (closed while the crop is dragged), the arrow elsewhere.
void UpdateDialogCursor(const PreviewDialogState& state);
