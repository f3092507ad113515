#pragma once
// The one place the desktop program runs the engine, for the preview and the whole picture alike.
#include "engine/settings.h"
#include "imagefile/image.h"

// The dialog's settings as the engine and the views take them, on one thread per processor.
DenoiseSettings CurrentSettings();

// Denoises the whole picture with the current settings and leaves its figures in lumaSnr and
// chromaSnr: the progress window runs along, and at the end, between two short pauses, it goes
// and the result box shows the figures with the whole seconds the run took, pauses included.
// False, with the picture and the figures as they were, when the picture is too large to process.
bool DenoiseWholePicture(Image& picture);

// Denoises the crop cut from the area of the picture, silently, and leaves its figures in lumaSnr
// and chromaSnr; false, with the figures as they were, when the memory cannot be had.
bool DenoisePreview(const Image& picture, const PictureArea& area, Image& crop);
