#include "zentile/packed_bitmap.h"

#include <cstring>
#include <new>

#include "imagefile/bitmap_header.h"

namespace {

std::uint32_t Sample(const std::uint8_t* at, const RowFormat& format)
{
    if (format.bytesPerSample == 1) return at[0] * 257u;  // 8 to 16 bits, exactly
    return format.bigEndian ? (at[0] << 8 | at[1]) : (at[1] << 8 | at[0]);
}

// One 16-bit sample composited onto white with a 16-bit alpha, then reduced to 8 bits.
std::uint8_t OnWhite(std::uint32_t value, std::uint32_t alpha)
{
    const std::uint64_t composited = (std::uint64_t{value} * alpha + 65535ull * (65535 - alpha) + 32767) / 65535;
    return static_cast<std::uint8_t>((composited * 255 + 32767) / 65535);
}

}  // namespace

std::uint64_t PackedStride(std::uint64_t width)
{
    return width * 3 + width % 4;
}

bool PackedBitmapFits(std::uint64_t width, std::uint64_t height, std::uint64_t maxPixels)
{
    if (width == 0 || height == 0 || width > largestPackedBitmap || height > largestPackedBitmap) return false;
    return width <= maxPixels / height && PackedStride(width) <= (largestPackedBitmap - 40) / height;
}

bool StartPackedBitmap(std::uint64_t width, std::uint64_t height, std::uint64_t maxPixels, std::vector<std::uint8_t>& block)
{
    block.clear();
    if (!PackedBitmapFits(width, height, maxPixels)) return false;
    const std::uint64_t pixelBytes = PackedStride(width) * height;
    try {
        block.assign(static_cast<std::size_t>(40 + pixelBytes), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const BitmapInfoHeader header{40, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), 1, 24, 0,
                                  static_cast<std::uint32_t>(pixelBytes), 0, 0, 0, 0};
    std::memcpy(block.data(), &header, sizeof header);
    return true;
}

std::uint8_t* PackedRowFromTop(std::vector<std::uint8_t>& block, std::uint32_t y)
{
    BitmapInfoHeader header;
    std::memcpy(&header, block.data(), sizeof header);
    const std::uint64_t fromBottom = static_cast<std::uint64_t>(header.biHeight) - 1 - y;
    return block.data() + 40 + fromBottom * PackedStride(static_cast<std::uint64_t>(header.biWidth));
}

void PackRow(const std::uint8_t* source, const RowFormat& format, std::uint32_t width, std::uint8_t* bgr)
{
    const int step = format.bytesPerSample;
    const bool colour = format.channels >= 3;
    const bool alpha = format.channels % 2 == 0;
    if (step == 1 && format.channels == 3) {  // the common opaque case, without arithmetic
        for (std::uint32_t x = 0; x < width; ++x, source += 3, bgr += 3) {
            bgr[0] = source[format.blueFirst ? 0 : 2];
            bgr[1] = source[1];
            bgr[2] = source[format.blueFirst ? 2 : 0];
        }
        return;
    }
    for (std::uint32_t x = 0; x < width; ++x, source += format.channels * step, bgr += 3) {
        const std::uint32_t first = Sample(source, format);
        const std::uint32_t second = colour ? Sample(source + step, format) : first;
        const std::uint32_t third = colour ? Sample(source + 2 * step, format) : first;
        const std::uint32_t a = alpha ? Sample(source + (format.channels - 1) * step, format) : 65535;
        const std::uint32_t blue = format.blueFirst ? first : third;
        const std::uint32_t red = format.blueFirst ? third : first;
        bgr[0] = OnWhite(blue, a);
        bgr[1] = OnWhite(second, a);
        bgr[2] = OnWhite(red, a);
    }
}

void PackCmykRow(const std::uint8_t* source, bool inverted, std::uint32_t width, std::uint8_t* bgr)
{
    for (std::uint32_t x = 0; x < width; ++x, source += 4, bgr += 3) {
        const unsigned white[4] = {
            inverted ? source[0] : 255u - source[0], inverted ? source[1] : 255u - source[1],
            inverted ? source[2] : 255u - source[2], inverted ? source[3] : 255u - source[3]};
        bgr[0] = static_cast<std::uint8_t>((white[2] * white[3] + 127) / 255);
        bgr[1] = static_cast<std::uint8_t>((white[1] * white[3] + 127) / 255);
        bgr[2] = static_cast<std::uint8_t>((white[0] * white[3] + 127) / 255);
    }
}

bool IsPackedBitmap(const std::uint8_t* bitmap, std::uint32_t& width, std::uint32_t& height)
{
    if (!bitmap) return false;
    BitmapInfoHeader header;
    std::memcpy(&header, bitmap, sizeof header);
    if (header.biWidth <= 0 || header.biHeight <= 0 || header.biBitCount != 24 || header.biCompression != 0) return false;
    width = static_cast<std::uint32_t>(header.biWidth);
    height = static_cast<std::uint32_t>(header.biHeight);
    return PackedStride(width) <= (largestPackedBitmap - 40) / height;
}

bool TurnUpright(int orientation, std::uint64_t maxPixels, std::vector<std::uint8_t>& block)
{
    std::uint32_t width = 0, height = 0;
    if (orientation < 2 || orientation > 8 || !IsPackedBitmap(block.data(), width, height)) return true;
    const bool quarterTurn = orientation >= 5;
    const std::uint32_t turnedWidth = quarterTurn ? height : width, turnedHeight = quarterTurn ? width : height;
    std::vector<std::uint8_t> turned;
    if (!StartPackedBitmap(turnedWidth, turnedHeight, maxPixels, turned)) return false;
    const std::uint64_t stride = PackedStride(width);
    for (std::uint32_t y = 0; y < turnedHeight; ++y) {
        std::uint8_t* out = PackedRowFromTop(turned, y);
        for (std::uint32_t x = 0; x < turnedWidth; ++x, out += 3) {
            // Where the pixel seen at (x, y) is stored, counted from the top left.
            std::uint32_t storedX = x, storedY = y;
            switch (orientation) {
            case 2: storedX = width - 1 - x; break;
            case 3: storedX = width - 1 - x; storedY = height - 1 - y; break;
            case 4: storedY = height - 1 - y; break;
            case 5: storedX = y; storedY = x; break;
            case 6: storedX = y; storedY = height - 1 - x; break;
            case 7: storedX = width - 1 - y; storedY = height - 1 - x; break;
            default: storedX = width - 1 - y; storedY = x; break;
            }
            std::memcpy(out, block.data() + 40 + (height - 1 - storedY) * stride + 3 * storedX, 3);
        }
    }
    block.swap(turned);
    return true;
}
