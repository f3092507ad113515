#pragma once
// The numbers of the desktop program's resources and of the preview dialog's controls, shared by
// the resource script, the program and its tests. Plain macros: the resource compiler reads
// nothing but the preprocessor.

#define IDC_OPEN_HAND 101    // cursor over the picture
#define IDC_CLOSED_HAND 102  // cursor while dragging
#define IDD_PREVIEW 103      // the preview dialog's template
#define IDI_QUORVANE 109     // the program's icon
#define IDB_SKIN_ATLAS 113   // the tiles, labels, knob and glyphs the dialog draws with

// Controls of the preview dialog.
#define IDC_WHOLE_PICTURE 1012
#define IDC_PREVIEW 1015
#define IDC_CANCEL_BUTTON 1018
#define IDC_BRIGHTNESS_CORRECTION 1067
#define IDC_RGB_CORRECTION 1068
#define IDC_TONE_CURVE 1078
#define IDC_METHOD 1079
#define IDC_STRENGTH_SLIDER 1080  // the slider's place in the tab order, made at run time
