#pragma once
// The one place the desktop program runs the engine, for the preview and the whole picture alike.
#include "engine/settings.h"
#include "imagefile/image.h"

// The dialog's settings as the engine and the views take them, on one thread per processor.
DenoiseSettings CurrentSettings();

// Denoises the picture with the current settings and leaves its figures in lumaSnr and chromaSnr.
// The whole picture runs with the progress window, its pauses and the result box; the preview
// crop runs silently. False, with the picture and the figures as they were, when the picture is
// too large to process.
bool RunEngine(Image& picture, bool wholePicture);
