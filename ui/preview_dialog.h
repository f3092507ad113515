#pragma once
// The modal preview dialog (template "#103"): the four processing settings, the before and after
// crops with the readout under the mouse, and the start of the whole-picture run.
#include <windows.h>

// Control identifiers of the dialog template.
enum PreviewControl {
    wholePictureButton = 1012,
    previewButton = 1015,
    cancelButton = 1018,
    brightnessCheckBox = 1067,
    rgbCheckBox = 1068,
    toneComboBox = 1078,
};

INT_PTR CALLBACK PreviewDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The hand over the before-panel (closed while the crop is dragged), the arrow elsewhere.
void UpdateDialogCursor();
