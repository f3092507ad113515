#include <csetjmp>
#include <cstring>

#include <png.h>

#include "zentile/codecs.h"
#include "zentile/packed_bitmap.h"

namespace {

// The file's bytes, and the reason of a failure as libpng's messages tell it.
struct MemorySource {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
    FileError reason;
    bool sizeWarned;  // libpng warned of sides beyond the limits
};

FileError ReasonOf(const char* message)
{
    const auto says = [message](const char* words) { return message && std::strstr(message, words) != nullptr; };
    return says("CRC")                                          ? FileError::ChecksumMismatch
           : says("truncated") || says("Not enough image data") ? FileError::Truncated
           : says("memory")                                     ? FileError::OutOfMemory
           : says("exceeds") || says("too large")               ? FileError::TooLarge
           : says("Not a PNG")                                  ? FileError::NotAPicture
                                                                : FileError::Damaged;
}

void ReadFromMemory(png_structp png, png_bytep to, png_size_t count)
{
    auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
    if (count > source->size - source->at) png_error(png, "truncated");
    std::memcpy(to, source->data + source->at, count);
    source->at += count;
}

// libpng's texts are all it tells; the few that name a reason of their own are told apart. Sides
// beyond the limits come as warnings before the error that refuses the header; any other warning
// (a chunk longer than the file, say) leaves the reason to the error that follows.
[[noreturn]] void OnPngError(png_structp png, png_const_charp message)
{
    auto* source = static_cast<MemorySource*>(png_get_error_ptr(png));
    const bool header = message && std::strstr(message, "Invalid IHDR") != nullptr;
    if (source->reason == FileError::None)
        source->reason = header && source->sizeWarned ? FileError::TooLarge : ReasonOf(message);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp png, png_const_charp message)
{
    auto* source = static_cast<MemorySource*>(png_get_error_ptr(png));
    if (ReasonOf(message) == FileError::TooLarge) source->sizeWarned = true;
}

// Chunks that change nothing of the pixels as decoded here, and whose data the module reads from
// the file itself where it keeps any (picture_metadata.h). libpng skips them unread: however long
// one claims to be, it costs no memory.
void SkipUnusedChunks(png_structp png)
{
    static const png_byte unused[] = "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0sCAL\0sPLT\0sRGB\0"
                                     "tEXt\0tIME\0zTXt";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, unused, static_cast<int>(sizeof unused / 5));
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
}

// Bytes of one row as libpng hands it over after png_set_expand: palette and low depths to 8
// bits, a transparency entry to an alpha channel.
std::uint64_t ExpandedRowBytes(png_structp png, png_infop info, png_uint_32 width)
{
    const int type = png_get_color_type(png, info);
    const int colours = (type & PNG_COLOR_MASK_COLOR) ? 3 : 1;
    const bool alpha = (type & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    return std::uint64_t{width} * static_cast<std::uint64_t>(colours + (alpha ? 1 : 0)) * (png_get_bit_depth(png, info) == 16 ? 2 : 1);
}


// Runs between the setjmp and the end of decoding: only trivially destructible locals here, and
// every allocation goes through libpng so that the error path can free it.
FileError DecodeRows(png_structp png, png_infop info, std::uint64_t maxPixels, png_bytep volatile& rows, std::vector<std::uint8_t>& block)
{
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    // Decided from the header, before libpng sizes its row buffers: the packed bitmap and the rows
    // libpng hands over (the whole picture when interlaced) must both fit its bounds.
    const bool interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    if (!PackedBitmapFits(width, height, maxPixels) ||
        ExpandedRowBytes(png, info, width) > largestPackedBitmap / (interlaced ? height : 1))
        return FileError::TooLarge;
    // Palette and low bit depths to 8 bits, transparency entries to an alpha channel; 16-bit
    // samples are kept for the rounding of PackRow.
    png_set_expand(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const RowFormat format{png_get_channels(png, info), png_get_bit_depth(png, info) == 16 ? 2 : 1, true, false};
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    if (!StartPackedBitmap(width, height, maxPixels, block)) return FileError::OutOfMemory;

    // An interlaced picture arrives in passes over the whole picture; a plain one row by row.
    const std::uint64_t bufferRows = passes > 1 ? height : 1;
    if (rowBytes > PNG_SIZE_MAX / bufferRows) return FileError::TooLarge;
    rows = static_cast<png_bytep>(png_malloc_warn(png, rowBytes * bufferRows));
    if (!rows) return FileError::OutOfMemory;
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y) {
            png_bytep row = rows + (passes > 1 ? y * rowBytes : 0);
            png_read_row(png, row, nullptr);
            if (pass == passes - 1) PackRow(row, format, width, PackedRowFromTop(block, y));
        }
    return FileError::None;
}

}  // namespace

FileError DecodePng(const std::uint8_t* data, std::size_t size, std::uint64_t maxPixels, std::vector<std::uint8_t>& block)
{
    MemorySource source{data, size, 0, FileError::None, false};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return FileError::OutOfMemory;
    }
    png_bytep volatile rows = nullptr;
    volatile FileError result = FileError::Damaged;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_read_fn(png, &source, ReadFromMemory);
        // Sides up to what a packed bitmap can hold (libpng's own default would refuse less).
        png_set_user_limits(png, static_cast<png_uint_32>(largestPackedBitmap / 3), static_cast<png_uint_32>(largestPackedBitmap / 3));
        // No chunk holds more than the file.
        png_set_chunk_malloc_max(png, size);
        SkipUnusedChunks(png);
        result = DecodeRows(png, info, maxPixels, rows, block);
    } else {
        result = source.reason;
    }
    png_free(png, rows);
    png_destroy_read_struct(&png, &info, nullptr);
    if (result != FileError::None) block.clear();
    return result;
}
