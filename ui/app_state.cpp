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
RECT drawRect = {0, 0, 0, 0};
RECT closedWindowRect = {0, 0, 0, 0};

std::int8_t filterStrength = 50;
std::uint8_t brightnessCorrection = 1;
std::uint8_t rgbCorrection = 1;
std::int8_t toneMode = 0;
float lumaSnr = 0.0f;
float chromaSnr = 0.0f;
bool progressEnabled = false;
