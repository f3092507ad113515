#include "ui/app_state.h"

HINSTANCE instance = nullptr;
HWND mainWindow = nullptr;
HWND progressWindow = nullptr;
HDC mainWindowDc = nullptr;

HDC SplashCanvas = nullptr;
HDC ProgressMarkMask = nullptr;
HDC SkinAtlas = nullptr;
HDC SkinAtlasMask = nullptr;
HCURSOR openHandCursor = nullptr;
HCURSOR closedHandCursor = nullptr;

Image heldImage;
bool pictureShown = false;
bool dialogOpen = false;
int modalBoxesOpen = 0;
RECT closedWindowRect = {0, 0, 0, 0};
