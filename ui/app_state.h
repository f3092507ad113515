#pragma once
// The desktop program's process-wide state: the windows, the drawing resources made at start-up,
// the held picture and the flags the windows share. Everything lives on the one user-interface
// thread. The processing settings and the preview live in the dialog's state (preview_dialog.h).
#include <windows.h>

#include "imagefile/image.h"

extern HINSTANCE instance;
extern HWND mainWindow;
extern HWND progressWindow;
extern HDC mainWindowDc;        // kept from start-up to exit

extern HDC SplashCanvas;        // 200 x 230 start-up picture with the version text
extern HDC ProgressMarkMask;    // monochrome mask of the progress mark's strip of the canvas
extern HDC SkinAtlas;           // bitmap resource IDB_SKIN_ATLAS, 64 x 64
extern HDC SkinAtlasMask;       // 128 x 128 monochrome mask of the atlas
extern HCURSOR openHandCursor;  // resource IDC_OPEN_HAND
extern HCURSOR closedHandCursor;// resource IDC_CLOSED_HAND, while dragging

// The progress window's mark: the strip of the start-up canvas below the part the main window shows.
inline constexpr POINT progressMarkPlace = {0, 200};
inline constexpr SIZE progressMarkSize = {48, 22};

extern Image heldImage;         // the one picture held
extern bool pictureShown;
extern bool dialogOpen;
extern int modalBoxesOpen;     // message boxes of the program up at the moment; drops wait for none
extern RECT closedWindowRect;  // the main window's screen rectangle when it was destroyed
