#include "ui/engine_run.h"

#include <chrono>

#include "engine/denoise.h"
#include "ui/windows_front_end.h"

namespace {

void ShowProgressOf(int kind, int percent)
{
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
