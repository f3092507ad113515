#pragma once
// The modal preview dialog (template IDD_PREVIEW): the four processing settings, the before and after
// crops with the readout under the mouse, and the start of the whole-picture run.
#include <windows.h>

#include "resources/resource_ids.h"

INT_PTR CALLBACK PreviewDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The hand over the before-panel (closed while the crop is dragged), the arrow elsewhere.
void UpdateDialogCursor();
