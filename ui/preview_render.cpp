#include "ui/preview_render.h"

#include <algorithm>
#include <cstring>

#include "engine/denoise.h"
#include "ui/app_state.h"
#include "ui/preview_layout.h"

namespace {

void DrawCrop(HDC dc, const RECT& place, const Image& crop, int columns, int rows)
{
    SetDIBitsToDevice(dc, place.left, place.top, columns, rows, 0, 0, 0, rows, crop.bits,
                      reinterpret_cast<const BITMAPINFO*>(crop.header), DIB_RGB_COLORS);
}

// The engine on the crop; the figures and the measured noise are kept for what follows.
void RunPreview(const DenoiseSettings& settings, PreviewState& preview)
{
    DenoiseSettings run = settings;
    run.noise = preview.noise;
    const DenoiseOutcome outcome =
        DenoiseCrop(run, heldImage.header, heldImage.rows.get(), CropArea(preview.place), preview.crop);
    if (!outcome.done) return;
    preview.figures = outcome.figures;
    if (outcome.noise) preview.noise = outcome.noise;
}

}  // namespace

PictureArea CropArea(const CropPlace& place)
{
    const BitmapInfoHeader& picture = *heldImage.header;
    return {place.columnOffset, place.rowOffset, std::min(picture.biWidth, cropSize),
            std::min(picture.biHeight, cropSize)};
}

void RenderPreview(HDC dialogDc, const DenoiseSettings& settings, PreviewState& preview)
{
    const PictureArea area = CropArea(preview.place);
    const int gap = heldImage.header->biWidth < cropSize ? preview.place.rowPad * 3 : 0;
    const std::size_t bytes = static_cast<std::size_t>(area.width) * 3;
    Image& crop = preview.crop;

    // Crop rows are 384 bytes, a multiple of 4, so each also lands unpadded in the bits.
    for (int i = 0; i < area.height; ++i) {
        std::memcpy(crop.rows[i], heldImage.rows[area.top + i] + area.left * 3, bytes);
        std::memcpy(crop.bits + i * (area.width * 3 + gap), crop.rows[i], bytes);
    }

    SetICMMode(dialogDc, ICM_ON);
    DrawCrop(dialogDc, beforeCrop, crop, area.width, area.height);
    if (preview.requested) {
        RunPreview(settings, preview);
        DrawCrop(dialogDc, afterCrop, crop, area.width, area.height);
        preview.requested = false;
    } else {
        FillRect(dialogDc, &afterCrop, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    SetICMMode(dialogDc, ICM_OFF);
}
