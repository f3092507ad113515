#pragma once
// The two pictures of the preview dialog: the crop as the picture holds it, and the same crop
// after the engine has run on it, or white while no preview is asked for.
#include <windows.h>

#include <cstdint>

#include "imagefile/image.h"
#include "ui/preview_layout.h"

// The 128 x 128 picture the preview processes; rebuilt by the dialog at every opening. Parts of
// it outside a smaller picture stay zero.
extern Image PreviewCrop;

// Where the crop lies in the held picture, kept by the dialog: the first picture row (counted
// from the bottom), the first column, and 128 - width for pictures narrower than the crop.
struct CropPlace {
    std::int32_t rowOffset = 0;
    std::int32_t columnOffset = 0;
    std::int32_t rowPad = 0;
};

// Set by the Preview button; the next paint runs the engine once on the crop and clears it.
extern std::uint8_t previewRequested;

// Cuts the crop out of the held picture's source rows, draws it in the before-panel and then
// either the processed crop or white in the after-panel.
bool RenderPreview(HDC dialogDc, const CropPlace& crop);
