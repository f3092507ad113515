#include "ui/preview_render.h"

#include <algorithm>
#include <cstring>

#include "ui/app_state.h"
#include "ui/engine_run.h"
#include "ui/preview_layout.h"

Image PreviewCrop;
std::uint8_t previewRequested = 0;

namespace {

void DrawCrop(HDC dc, const RECT& crop, int columns, int rows)
{
    SetDIBitsToDevice(dc, crop.left, crop.top, columns, rows, 0, 0, 0, rows, PreviewCrop.bits,
                      reinterpret_cast<const BITMAPINFO*>(PreviewCrop.header), DIB_RGB_COLORS);
}

}  // namespace

bool RenderPreview(HDC dialogDc, const CropPlace& crop)
{
    const BitmapInfoHeader& picture = *heldImage.header;
    const int rows = std::min(picture.biHeight, cropSize);
    const int columns = std::min(picture.biWidth, cropSize);
    const int gap = picture.biWidth < cropSize ? crop.rowPad * 3 : 0;
    const std::size_t bytes = static_cast<std::size_t>(columns) * 3;

    // Crop rows are 384 bytes, a multiple of 4, so each also lands unpadded in the bits.
    for (int i = 0; i < rows; ++i) {
        std::memcpy(PreviewCrop.rows[i], heldImage.rows[crop.rowOffset + i] + crop.columnOffset * 3, bytes);
        std::memcpy(PreviewCrop.bits + i * (columns * 3 + gap), PreviewCrop.rows[i], bytes);
    }

    SetICMMode(dialogDc, ICM_ON);
    DrawCrop(dialogDc, beforeCrop, columns, rows);
    if (previewRequested) {
        DenoisePreview(heldImage, PictureArea{crop.columnOffset, crop.rowOffset, columns, rows}, PreviewCrop);
        DrawCrop(dialogDc, afterCrop, columns, rows);
        previewRequested = 0;
    } else {
        drawRect = afterCrop;
        FillRect(dialogDc, &drawRect, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    SetICMMode(dialogDc, ICM_OFF);
    return true;
}
