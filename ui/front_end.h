#pragma once
// What the desktop program's runs ask of the windows around them: plugged at start-up with the
// progress window, real pauses and message boxes; tests replace the hooks to watch what happens.
#include <functional>

#include "engine/settings.h"
#include "support/quality_figures.h"

struct FrontEnd {
    // The progress window: kind 1 shows it, kind 2 moves its gauge to percent (0 ... 100), any
    // other kind hides it.
    std::function<void(int kind, int percent)> showProgress;
    // Waits; the pauses let the progress window be seen.
    std::function<void(int milliseconds)> pause;
    // Shows the figures of a finished whole-picture run, the whole seconds it took and its method.
    std::function<void(const QualityFigures& figures, int seconds, Method method)> showResult;
    // Tells the user something and returns once it has been seen. Texts are UTF-8.
    std::function<void(const char* text, const char* caption)> showMessage;
};
