#include "ui/engine_run.h"

#include "engine/denoise.h"
#include "ui/app_state.h"
#include "ui/windows_front_end.h"

DenoiseSettings CurrentSettings()
{
    DenoiseSettings settings;
    settings.filterStrength = filterStrength;
    settings.brightnessCorrection = brightnessCorrection;
    settings.colour.toneMode = toneMode;
    settings.colour.rgbCorrection = rgbCorrection;
    return settings;
}

bool RunEngine(Image& picture, bool wholePicture)
{
    // The whole picture runs with the host plugged at start-up. Hiding the progress window clears
    // progressEnabled; a run that ends otherwise does not leave it set either.
    if (wholePicture) progressEnabled = true;
    const std::optional<QualityFigures> figures =
        DenoiseImage(CurrentSettings(), wholePicture ? &frontEnd : nullptr, picture.header, picture.bits,
                     picture.rows.get());
    if (wholePicture) progressEnabled = false;
    if (!figures) return false;
    lumaSnr = figures->lumaSnr;
    chromaSnr = figures->chromaSnr;
    return true;
}
