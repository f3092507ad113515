#pragma once
// The main window: the start-up picture until a file is dropped, then the picture at one screen
// pixel per picture pixel, its channel views on letter keys, panning by dragging, saving on a
// double click, the preview dialog on Space and Esc to quit.
#include <windows.h>

#include <string>

#include "ui/preview_dialog.h"

inline constexpr int splashSide = 200;  // the window's size, and the part of the canvas shown, without a picture

// What the main window keeps between messages. Pointer positions are packed as the mouse messages
// deliver them: x in the low 16 bits, y in the high 16 bits.
struct MainWindowView {
    int frameExtraWidth = 0;   // window size minus client size, measured at creation
    int frameExtraHeight = 0;
    std::wstring path;         // the last dropped file (its first file only)
    RECT clientRect = {0, 0, 0, 0};
    bool dragging = false;
    LPARAM lastPointer = 0;
    LPARAM dragAnchor = 0;
    int panX = 0, panY = 0;    // where the picture's top-left corner is drawn: 0 or negative
    int savedPanX = 0, savedPanY = 0;
    int panLimitX = 0, panLimitY = 0;
    bool toldTooLargeToShow = false;  // the box is shown once per picture, not at every repaint
    PreviewDialogState previewDialog;  // handed to the preview dialog at every opening
    bool placeOnScreen = false;       // the first paint of a new picture moves the window into view
};

extern MainWindowView mainView;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Draws the working picture at the pan offset and sets the title from the file name.
void PaintImage(HDC dc);

// The title for a picture: " QVN - " and the part of the path after its last backslash.
std::wstring PictureTitle(const std::wstring& path);
