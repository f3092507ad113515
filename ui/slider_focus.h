#pragma once
// The filter-strength slider is drawn by the preview dialog itself, so it is no control the
// keyboard can reach. A control of its own over the slider gives it a place in the tab order: it
// draws nothing, lets the mouse through to the dialog, and tells the dialog the slider keys as
// WM_HSCROLL notifications, and its focus coming and going as SB_ENDSCROLL, so that the dialog
// redraws the slider with or without its focus frame.
#include <windows.h>

// Right and Up raise the strength by one, Left and Down lower it; Page Up and Page Down by ten;
// Home and End go to the ends.
HWND CreateSliderFocus(HWND dialog, const RECT& place, int id);

// The strength after a WM_HSCROLL request from the control, clamped to low ... high.
int StrengthAfterScroll(int strength, WORD request, int low, int high);
