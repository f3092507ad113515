#pragma once
// The two pictures of the preview dialog: the crop as the picture holds it, and the same crop
// after the engine has run on it, or white while no preview is asked for.
#include <windows.h>

#include <cstdint>
#include <memory>

#include "engine/settings.h"
#include "imagefile/image.h"
#include "support/quality_figures.h"
#include "ui/preview_layout.h"

// Where the crop lies in the held picture, kept by the dialog: the first picture row (counted
// from the bottom), the first column, and 128 - width for pictures narrower than the crop.
struct CropPlace {
    std::int32_t rowOffset = 0;
    std::int32_t columnOffset = 0;
    std::int32_t rowPad = 0;
};

// What the preview keeps between paints.
struct PreviewState {
    CropPlace place;
    // The 128 x 128 picture the preview processes, rebuilt at every opening of the dialog; parts of
    // it outside a smaller picture stay zero.
    Image crop;
    // Set by the Preview button; the next paint runs the engine once on the crop and clears it.
    bool requested = false;
    // The figures of the last engine run, preview or whole picture; 0 means not measurable.
    QualityFigures figures;
    // The noise the adaptive method measured on the held picture, handed back to its next runs so
    // that each preview need not measure the whole picture again; null until measured.
    std::shared_ptr<const NoiseLevels> noise;
};

// The area of the held picture the crop shows.
PictureArea CropArea(const CropPlace& place);

// Cuts the crop out of the held picture's source rows, draws it in the before-panel and then
// either the crop processed with the settings or white in the after-panel.
void RenderPreview(HDC dialogDc, const DenoiseSettings& settings, PreviewState& preview);
