#include "ui/engine_run.h"

#include <windows.h>

#include <chrono>

#include "engine/denoise.h"
#include "ui/windows_front_end.h"

namespace {

// No message is handled during the run, but the display system may finish its own work at each
// step: under Wine, what the closed dialog uncovered is drawn again only then.
void ShowProgressOf(int kind, int percent)
{
    GetQueueStatus(QS_ALLINPUT);
    if (frontEnd.showProgress) frontEnd.showProgress(kind, percent);
}

void Pause(int milliseconds)
{
    if (frontEnd.pause) frontEnd.pause(milliseconds);
}

}  // namespace

DenoiseOutcome DenoiseWholePicture(const DenoiseSettings& settings, Image& picture)
{
    const auto start = std::chrono::steady_clock::now();
    DenoiseHooks hooks;
    hooks.progress = [](ProgressPhase phase, int percent) {
        ShowProgressOf(phase == ProgressPhase::Starting ? 1 : 2, percent);
    };
    const DenoiseOutcome outcome = DenoiseImage(settings, hooks, picture.header, picture.bits, picture.rows.get());
    if (!outcome.done) {
        ShowProgressOf(0, 0);
        return outcome;
    }
    Pause(100);
    ShowProgressOf(0, 0);
    Pause(100);
    const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (frontEnd.showResult) frontEnd.showResult(outcome.figures, static_cast<int>(elapsed), settings.method);
    return outcome;
}
