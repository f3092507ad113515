#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

#include "zentile/codecs.h"
#include "zentile/packed_bitmap.h"

namespace {

// libjpeg reports errors by calling back; this one jumps back to the decoder, which then refuses
// the file. Warnings about the data (premature end, corrupt or missing parts) are damage too:
// libjpeg would fill what it could not read with grey, and a half picture is not the user's
// picture. Other warnings (an unknown JFIF revision, a bad colour profile) leave the pixels whole.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    FileError reason;
};

JpegErrors& ErrorsOf(j_common_ptr info)
{
    return *reinterpret_cast<JpegErrors*>(info->err);
}

FileError ReasonOfError(int code)
{
    if (code == JERR_OUT_OF_MEMORY) return FileError::OutOfMemory;
    if (code == JERR_IMAGE_TOO_BIG || code == JERR_NO_BACKING_STORE) return FileError::TooLarge;
    if (code == JERR_INPUT_EMPTY || code == JERR_INPUT_EOF) return FileError::Truncated;
    return FileError::Damaged;
}

// A reason noted before the error stands: a header cut short first warns of the file's end, then
// fails for want of what followed.
[[noreturn]] void OnJpegError(j_common_ptr info)
{
    if (ErrorsOf(info).reason == FileError::None) ErrorsOf(info).reason = ReasonOfError(info->err->msg_code);
    std::longjmp(ErrorsOf(info).jump, 1);
}

void OnJpegMessage(j_common_ptr info, int level)
{
    if (level >= 0 || ErrorsOf(info).reason != FileError::None) return;
    switch (info->err->msg_code) {
    case JWRN_JPEG_EOF: ErrorsOf(info).reason = FileError::Truncated; break;
    case JWRN_HIT_MARKER:
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION: ErrorsOf(info).reason = FileError::Damaged; break;
    default: break;
    }
}

int SupportedScale(int denominator)
{
    return denominator == 2 || denominator == 4 || denominator == 8 ? denominator : 1;
}

// Runs between the setjmp and the end of decoding: only trivially destructible locals here.
FileError DecodeRows(jpeg_decompress_struct& info, JpegErrors& errors, std::uint64_t maxPixels, std::vector<std::uint8_t>& block)
{
    if (!PackedBitmapFits(info.image_width, info.image_height, maxPixels)) return FileError::TooLarge;
    // Whole-picture buffers (progressive files) within what a packed bitmap may take at most.
    info.mem->max_memory_to_use = static_cast<long>(std::min<std::uint64_t>(largestPackedBitmap, LONG_MAX));
    // CMYK comes out as it is stored and is converted here; everything else straight as BGR.
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_calc_output_dimensions(&info);
    if (!PackedBitmapFits(info.output_width, info.output_height, maxPixels)) return FileError::TooLarge;
    if (!StartPackedBitmap(info.output_width, info.output_height, maxPixels, block)) return FileError::OutOfMemory;
    jpeg_start_decompress(&info);
    JSAMPARRAY cmykRow = cmyk ? (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, info.output_width * 4, 1)
                              : nullptr;
    while (info.output_scanline < info.output_height && errors.reason == FileError::None) {
        std::uint8_t* row = PackedRowFromTop(block, info.output_scanline);
        if (cmyk) {
            if (jpeg_read_scanlines(&info, cmykRow, 1) != 1) return FileError::Truncated;
            PackCmykRow(cmykRow[0], info.saw_Adobe_marker, info.output_width, row);
        } else if (jpeg_read_scanlines(&info, &row, 1) != 1) {
            return FileError::Truncated;
        }
    }
    return errors.reason;
}

}  // namespace

FileError DecodeJpeg(const std::uint8_t* data, std::size_t size, int scaleDenominator, std::uint64_t maxPixels,
                     std::vector<std::uint8_t>& block)
{
    jpeg_decompress_struct info;
    JpegErrors errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = OnJpegError;
    errors.manager.emit_message = OnJpegMessage;
    errors.reason = FileError::None;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        block.clear();
        return errors.reason;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    FileError result = jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK ? FileError::None : FileError::NotAPicture;
    if (result == FileError::None) {
        info.scale_num = 1;
        info.scale_denom = static_cast<unsigned>(SupportedScale(scaleDenominator));
        result = DecodeRows(info, errors, maxPixels, block);
    }
    jpeg_destroy_decompress(&info);
    if (result != FileError::None) block.clear();
    return result;
}
