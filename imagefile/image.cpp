#include "imagefile/image.h"

#include <cstring>
#include <new>

#include "support/huge_pages.h"

namespace {

// The program is 32-bit: every byte count must fit a signed 32-bit size.
constexpr std::int64_t largestBlock = 0x7FFFFFFF;

// A block of bytes, zeroed or as the allocator hands it out; null when memory is short.
std::uint8_t* NewBytes(std::int64_t count, NewPixels start)
{
    const auto size = static_cast<std::size_t>(count);
    if (start == NewPixels::Zeroed) return new (std::nothrow) std::uint8_t[size]();
    std::uint8_t* block = new (std::nothrow) std::uint8_t[size];
    if (block) AdviseHugePages(block, size);
    return block;
}

void ZeroRowPadding(std::int32_t width, std::int32_t height, std::uint8_t* bits)
{
    const std::int64_t stride = RowStride(width), used = std::int64_t{width} * 3;
    if (stride == used) return;
    for (std::int32_t y = 0; y < height; ++y)
        std::memset(bits + y * stride + used, 0, static_cast<std::size_t>(stride - used));
}

}  // namespace

bool ImageBytesFit(std::int32_t width, std::int32_t height)
{
    return width > 0 && height > 0 && RowStride(width) <= (largestBlock - 40) / height;
}

bool AllocateImage(std::int32_t width, std::int32_t height, Image& image, NewPixels start)
{
    ReleaseImage(image);
    if (!ImageBytesFit(width, height)) return false;
    const std::int64_t pixelBytes = RowStride(width) * height;
    const std::int64_t sourceBytes = std::int64_t{width} * 3 * height;

    image.dib.reset(NewBytes(40 + pixelBytes, start));
    image.sourcePixels.reset(NewBytes(sourceBytes, start));
    image.rows.reset(new (std::nothrow) std::uint8_t*[static_cast<std::size_t>(height)]);
    if (!image.dib || !image.sourcePixels || !image.rows) {
        ReleaseImage(image);
        return false;
    }

    image.header = reinterpret_cast<BitmapInfoHeader*>(image.dib.get());
    *image.header = BitmapInfoHeader{40, width, height, 1, 24, 0, 0, 0, 0, 0, 0};
    image.bits = image.dib.get() + 40;
    if (start == NewPixels::ToBeWritten) ZeroRowPadding(width, height, image.bits);
    for (std::int32_t y = 0; y < height; ++y)
        image.rows[y] = image.sourcePixels.get() + std::int64_t{y} * width * 3;
    image.loaded = true;
    return true;
}

void FillSourceRows(Image& image)
{
    const std::int32_t width = image.header->biWidth;
    const std::int64_t stride = RowStride(width);
    for (std::int32_t y = 0; y < image.header->biHeight; ++y)
        std::memcpy(image.rows[y], image.bits + y * stride, static_cast<std::size_t>(width) * 3);
}

void ReleaseImage(Image& image)
{
    image.rows.reset();
    image.sourcePixels.reset();
    image.dib.reset();
    image.header = nullptr;
    image.bits = nullptr;
    image.loaded = false;
    std::vector<std::uint8_t>().swap(image.metadata);
}
