#pragma once
// The routines that give the program's windows their look: a shaded frame, the filter-strength
// slider and the progress gauge. All shades derive from the system's button-face colour, so they
// follow the user's colour scheme.
#include <windows.h>

// A soft frame with rounded corners around area, darker on the left and top, lighter on the right
// and bottom; its edges run 1 to 3 pixels outside the rectangle.
void DrawBevelFrame(HDC dc, const RECT& area, float depth, float radius, float contrast);

// The preview dialog's slider: the track (drawn once per process, then restored from a cache)
// and the knob at strength (1 ... 99). The dialog context must have its default text colour
// (black) and background colour (white), since the knob's mask relies on them.
void DrawStrengthSlider(HDC dialogDc, int strength);

// Frees the slider cache with the main-window context it holds; part of the exit, after which the
// next slider draw makes the track afresh.
void ReleaseSliderCache();

// The progress gauge over area (corners included), filled from the left to percent.
void DrawGauge(HDC dc, const RECT& area, int percent);
