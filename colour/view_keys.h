#pragma once
// The letter keys of the channel views. The desktop program's keys and qvn's --view take the same
// letters, so a view is named alike in both.
#include "colour/view_transform.h"

struct ViewKey {
    char key;  // upper case, as the keyboard's virtual-key codes of the letters are
    ViewMode mode;
};

// In the order of the views; no letter selects mode 2.
inline constexpr ViewKey viewKeys[] = {
    {'H', kViewHue},          {'S', kViewSaturation}, {'Y', kViewLuma},       {'U', kViewBlueDifference},
    {'V', kViewRedDifference}, {'I', kViewInPhase},    {'Q', kViewQuadrature}, {'L', kViewLightness},
    {'A', kViewRedGreen},     {'B', kViewYellowBlue}, {'N', kViewNegative},   {'P', kViewSource},
    {'D', kViewDifference},
};

// The view of an upper-case letter, or -1 when the key selects none. Lower case selects none: as
// virtual-key codes those are the keypad's keys.
int ViewModeForKey(int key);
