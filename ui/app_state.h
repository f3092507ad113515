#pragma once
// The desktop program's process-wide state: the windows, the drawing resources made at start-up,
// the held picture and the flags the windows share. Everything lives on the one user-interface
// thread.
#include <windows.h>

#include "imagefile/image.h"

extern HINSTANCE instance;
extern HWND mainWindow;
extern HWND progressWindow;
extern HDC mainWindowDc;        // kept from start-up to exit

extern HDC SplashCanvas;        // 200 x 230 start-up picture with the version text
extern HDC ProgressMarkMask;    // 48 x 22 monochrome mask of the canvas area at (0, 200)
extern HDC SkinAtlas;           // bitmap resource IDB_SKIN_ATLAS, 64 x 64
extern HDC SkinAtlasMask;       // 128 x 128 monochrome mask of the atlas
extern HCURSOR openHandCursor;  // resource IDC_OPEN_HAND
extern HCURSOR closedHandCursor;// resource IDC_CLOSED_HAND, while dragging

extern Image heldImage;         // the one picture held
extern bool pictureShown;
extern bool dialogOpen;
extern RECT drawRect;           // area handed to the drawing helpers; scratch for everyone else
extern RECT closedWindowRect;   // the main window's screen rectangle when it was destroyed
