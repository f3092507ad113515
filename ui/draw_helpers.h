#pragma once
// The routines that give the program's windows their look: a shaded frame, the filter-strength
// slider and the progress gauge. All shades derive from the system's button-face colour, so they
// follow the user's colour scheme. The area comes in through drawRect, set just before each call.
#include <windows.h>

// A soft frame with rounded corners around drawRect, darker on the left and top, lighter on the
// right and bottom; its edges run 1 to 3 pixels outside the rectangle.
bool DrawBevelFrame(HDC dc, float depth, float radius, float contrast);

// The preview dialog's slider: the track (drawn once per process, then restored from a cache)
// and the knob at filterStrength. The dialog context must have its default text colour (black)
// and background colour (white), since the knob's mask relies on them.
bool DrawStrengthSlider(HDC dialogDc);

// Frees the slider cache with the main-window context it holds; part of the exit, after which the
// next slider draw makes the track afresh.
void ReleaseSliderCache();

// The progress gauge over drawRect (corners included), filled from the left to percent.
bool DrawGauge(HDC dc, int percent);
