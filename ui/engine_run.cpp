#include "ui/engine_run.h"

#include <chrono>

#include "engine/denoise.h"
#include "ui/app_state.h"
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

void KeepFigures(const DenoiseOutcome& outcome)
{
    lumaSnr = outcome.figures.lumaSnr;
    chromaSnr = outcome.figures.chromaSnr;
}

}  // namespace

DenoiseSettings CurrentSettings()
{
    DenoiseSettings settings;
    settings.filterStrength = filterStrength;
    settings.brightnessCorrection = brightnessCorrection;
    settings.colour.toneMode = toneMode;
    settings.colour.rgbCorrection = rgbCorrection;
    return settings;
}

bool DenoiseWholePicture(Image& picture)
{
    const auto start = std::chrono::steady_clock::now();
    DenoiseHooks hooks;
    hooks.progress = [](ProgressPhase phase, int percent) {
        ShowProgressOf(phase == ProgressPhase::Starting ? 1 : 2, percent);
    };
    // Hiding the progress window clears progressEnabled; a run that ends otherwise does not leave
    // it set either.
    progressEnabled = true;
    const DenoiseOutcome outcome =
        DenoiseImage(CurrentSettings(), hooks, picture.header, picture.bits, picture.rows.get());
    if (!outcome.done) {
        ShowProgressOf(0, 0);
        progressEnabled = false;
        return false;
    }
    KeepFigures(outcome);
    Pause(100);
    ShowProgressOf(0, 0);
    Pause(100);
    progressEnabled = false;
    const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (frontEnd.showResult) frontEnd.showResult(outcome.figures, static_cast<int>(elapsed));
    return true;
}

bool DenoisePreview(const Image& picture, const PictureArea& area, Image& crop)
{
    const DenoiseOutcome outcome = DenoiseCrop(CurrentSettings(), picture.header, picture.rows.get(), area, crop);
    if (!outcome.done) return false;
    KeepFigures(outcome);
    return true;
}
