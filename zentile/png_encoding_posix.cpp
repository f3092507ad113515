#include <algorithm>
#include <csetjmp>
#include <new>

#include <png.h>

#include "zentile/codecs.h"
#include "zentile/packed_bitmap.h"

namespace {

void WriteToMemory(png_structp png, png_bytep data, png_size_t count)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    bool grown = true;
    try {
        out->insert(out->end(), data, data + count);
    } catch (const std::bad_alloc&) {
        grown = false;
    }
    if (!grown) png_error(png, "out of memory");
}

void FlushNothing(png_structp) {}

[[noreturn]] void OnPngError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Runs between the setjmp and the end of encoding: only trivially destructible locals here.
void WriteRows(png_structp png, png_infop info, const std::uint8_t* bitmap, std::uint32_t width, std::uint32_t height, int level)
{
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, std::clamp(level, 0, 9));
    png_write_info(png, info);
    png_set_bgr(png);  // the bitmap's samples are blue, green, red
    const std::uint64_t stride = PackedStride(width);
    for (std::uint32_t y = 0; y < height; ++y)
        png_write_row(png, bitmap + 40 + (height - 1 - y) * stride);
    png_write_end(png, nullptr);
}

}  // namespace

bool EncodePng(const std::uint8_t* bitmap, int level, std::vector<std::uint8_t>& out)
{
    out.clear();
    std::uint32_t width = 0, height = 0;
    if (!IsPackedBitmap(bitmap, width, height)) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    volatile bool encoded = false;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_write_fn(png, &out, WriteToMemory, FlushNothing);
        WriteRows(png, info, bitmap, width, height, level);
        encoded = true;
    }
    png_destroy_write_struct(&png, &info);
    if (!encoded) out.clear();
    return encoded;
}
