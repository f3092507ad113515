#include <csetjmp>
#include <cstring>

#include <png.h>

#include "zentile/codecs.h"
#include "zentile/packed_bitmap.h"

namespace {

struct MemorySource {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
};

void ReadFromMemory(png_structp png, png_bytep to, png_size_t count)
{
    auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
    if (count > source->size - source->at) png_error(png, "truncated");
    std::memcpy(to, source->data + source->at, count);
    source->at += count;
}

[[noreturn]] void OnPngError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Runs between the setjmp and the end of decoding: only trivially destructible locals here, and
// every allocation goes through libpng so that the error path can free it.
bool DecodeRows(png_structp png, png_infop info, std::uint64_t maxPixels, png_bytep volatile& rows, std::vector<std::uint8_t>& block)
{
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (std::uint64_t{width} * height > maxPixels) return false;
    // Palette and low bit depths to 8 bits, transparency entries to an alpha channel; 16-bit
    // samples are kept for the rounding of PackRow.
    png_set_expand(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const RowFormat format{png_get_channels(png, info), png_get_bit_depth(png, info) == 16 ? 2 : 1, true, false};
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    if (!StartPackedBitmap(width, height, maxPixels, block)) return false;

    // An interlaced picture arrives in passes over the whole picture; a plain one row by row.
    const std::uint64_t bufferRows = passes > 1 ? height : 1;
    if (rowBytes > PNG_SIZE_MAX / bufferRows) return false;
    rows = static_cast<png_bytep>(png_malloc_warn(png, rowBytes * bufferRows));
    if (!rows) return false;
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y) {
            png_bytep row = rows + (passes > 1 ? y * rowBytes : 0);
            png_read_row(png, row, nullptr);
            if (pass == passes - 1) PackRow(row, format, width, PackedRowFromTop(block, y));
        }
    return true;
}

}  // namespace

bool DecodePng(const std::uint8_t* data, std::size_t size, std::uint64_t maxPixels, std::vector<std::uint8_t>& block)
{
    MemorySource source{data, size, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    png_bytep volatile rows = nullptr;
    volatile bool decoded = false;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_read_fn(png, &source, ReadFromMemory);
        png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
        decoded = DecodeRows(png, info, maxPixels, rows, block);
    }
    png_free(png, rows);
    png_destroy_read_struct(&png, &info, nullptr);
    if (!decoded) block.clear();
    return decoded;
}
