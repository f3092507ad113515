#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <jpeglib.h>

#include "zentile/codecs.h"
#include "zentile/packed_bitmap.h"
#include "zentile/picture_metadata.h"

namespace {

// Largest EXIF data an APP1 segment holds after its "Exif\0\0" mark.
constexpr std::size_t largestExif = 65533 - 6;

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

// Into memory and from a packed bitmap, the one way for libjpeg to fail is a want of memory.
[[noreturn]] void OnJpegError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

void OnJpegMessage(j_common_ptr, int) {}

// Runs between the setjmp and the end of encoding: only trivially destructible locals here.
void WriteRows(jpeg_compress_struct& info, const std::uint8_t* bitmap, std::uint32_t width, std::uint32_t height, int quality,
               const std::uint8_t* metadata, std::size_t metadataSize)
{
    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, std::clamp(quality, 1, 100), TRUE);
    jpeg_start_compress(&info, TRUE);
    const std::uint8_t* data = nullptr;
    std::size_t length = 0;
    if (FindRecord(metadata, metadataSize, "eXIf", data, length) && length <= largestExif) {
        jpeg_write_m_header(&info, JPEG_APP0 + 1, static_cast<unsigned>(6 + length));
        for (char c : {'E', 'x', 'i', 'f', '\0', '\0'}) jpeg_write_m_byte(&info, c);
        for (std::size_t i = 0; i < length; ++i) jpeg_write_m_byte(&info, data[i]);
    }
    // A larger profile would wrap the parts' 8-bit numbers into a corrupt one, and libjpeg refuses
    // an empty one with the whole file: such profiles, as any but RGB ones, are left out.
    if (FindRecord(metadata, metadataSize, "iCCP", data, length) && length <= largestProfile &&
        IsRgbProfile(data, length))
        jpeg_write_icc_profile(&info, data, static_cast<unsigned>(length));
    const std::uint64_t stride = PackedStride(width);
    while (info.next_scanline < height) {
        JSAMPROW row = const_cast<JSAMPROW>(bitmap + 40 + (height - 1 - info.next_scanline) * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
}

}  // namespace

FileError EncodeJpeg(const std::uint8_t* bitmap, int quality, const std::uint8_t* metadata, std::size_t metadataSize,
                     std::vector<std::uint8_t>& jpeg)
{
    jpeg.clear();
    std::uint32_t width = 0, height = 0;
    if (!IsPackedBitmap(bitmap, width, height)) return FileError::CannotWrite;
    if (width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION) return FileError::TooLargeForJpeg;
    jpeg_compress_struct info{};
    JpegErrors errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = OnJpegError;
    errors.manager.emit_message = OnJpegMessage;
    // libjpeg grows the buffer itself and keeps its address here, also when it gives up half way.
    struct Destination {
        unsigned char* bytes = nullptr;
        unsigned long size = 0;
    } destination;
    volatile bool encoded = false;
    if (setjmp(errors.jump) == 0) {
        jpeg_create_compress(&info);
        jpeg_mem_dest(&info, &destination.bytes, &destination.size);
        WriteRows(info, bitmap, width, height, quality, metadata, metadataSize);
        encoded = true;
    }
    jpeg_destroy_compress(&info);
    try {
        if (encoded) jpeg.assign(destination.bytes, destination.bytes + destination.size);
    } catch (const std::bad_alloc&) {
        encoded = false;
    }
    std::free(destination.bytes);
    return encoded && !jpeg.empty() ? FileError::None : FileError::OutOfMemory;
}
