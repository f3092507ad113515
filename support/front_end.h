#pragma once
#include <functional>

#include "support/quality_figures.h"

// What the portable code asks of the program that hosts it, handed to the call that uses it. The
// desktop program plugs in its progress window, real pauses and message boxes; the command-line
// tool a progress bar and printed lines. Every hook may stay empty: the portable code then does
// without it.
struct FrontEnd {
    // kind 1 starts the display, kind 2 moves it to percent (0 ... 100), any other kind ends it.
    std::function<void(int kind, int percent)> showProgress;
    // Waits; only the desktop program needs the pauses that let its progress window be seen.
    std::function<void(int milliseconds)> pause;
    // The result's pixels are final: a whole-picture run calls this once, when it can no longer
    // fail, and from then on only reads them to measure them. A host may save them meanwhile.
    std::function<void()> resultReady;
    // Shows the figures of a finished whole-picture run and the whole seconds it took.
    std::function<void(const QualityFigures& figures, int seconds)> showResult;
    // Tells the user something and returns once it has been seen. Texts are UTF-8.
    std::function<void(const char* text, const char* caption)> showMessage;
};
