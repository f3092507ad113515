#pragma once
// The small topmost window that shows the stages of a whole-picture run. It paints nothing of its
// own: its content is drawn only by the engine's progress calls, while no message is handled.
#include <windows.h>

LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// kind 1 shows the window centred on the screen with its frame, gauge and mark; kind 2 moves the
// gauge to percent (0 ... 100); any other kind hides it.
void ShowProgress(int kind, int percent);
