#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

#include "zentile/codecs.h"
#include "zentile/packed_bitmap.h"

namespace {

// libjpeg reports errors by calling back; this one jumps back to the decoder, which then refuses
// the file. Warnings are kept quiet, except that running out of data marks the file truncated:
// libjpeg would fill the rest with grey, and a half picture is not the user's picture.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    bool truncated;
};

[[noreturn]] void OnJpegError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

void OnJpegMessage(j_common_ptr info, int level)
{
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) reinterpret_cast<JpegErrors*>(info->err)->truncated = true;
}

int SupportedScale(int denominator)
{
    return denominator == 2 || denominator == 4 || denominator == 8 ? denominator : 1;
}

// Runs between the setjmp and the end of decoding: only trivially destructible locals here.
bool DecodeRows(jpeg_decompress_struct& info, JpegErrors& errors, std::uint64_t maxPixels, std::vector<std::uint8_t>& block)
{
    if (std::uint64_t{info.image_width} * info.image_height > maxPixels) return false;
    // CMYK comes out as it is stored and is converted here; everything else straight as BGR.
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_calc_output_dimensions(&info);
    if (!StartPackedBitmap(info.output_width, info.output_height, maxPixels, block)) return false;
    jpeg_start_decompress(&info);
    JSAMPARRAY cmykRow = cmyk ? (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, info.output_width * 4, 1)
                              : nullptr;
    while (info.output_scanline < info.output_height && !errors.truncated) {
        std::uint8_t* row = PackedRowFromTop(block, info.output_scanline);
        if (cmyk) {
            if (jpeg_read_scanlines(&info, cmykRow, 1) != 1) return false;
            PackCmykRow(cmykRow[0], info.saw_Adobe_marker, info.output_width, row);
        } else if (jpeg_read_scanlines(&info, &row, 1) != 1) {
            return false;
        }
    }
    return !errors.truncated;
}

}  // namespace

bool DecodeJpeg(const std::uint8_t* data, std::size_t size, int scaleDenominator, std::uint64_t maxPixels,
                std::vector<std::uint8_t>& block)
{
    jpeg_decompress_struct info;
    JpegErrors errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = OnJpegError;
    errors.manager.emit_message = OnJpegMessage;
    errors.truncated = false;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        block.clear();
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    bool decoded = jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK;
    if (decoded) {
        info.scale_num = 1;
        info.scale_denom = static_cast<unsigned>(SupportedScale(scaleDenominator));
        decoded = DecodeRows(info, errors, maxPixels, block);
    }
    jpeg_destroy_decompress(&info);
    if (!decoded) block.clear();
    return decoded;
}
