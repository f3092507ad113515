// Any bytes as a photograph read upright: decoded, its metadata read, turned by its orientation
// tag. A turned picture's tag must say 1, and every turn must come back by its inverse.
#include <cstdlib>
#include <vector>

#include "zentile/codecs.h"
#include "zentile/exif_orientation.h"
#include "zentile/packed_bitmap.h"
#include "zentile/picture_metadata.h"

namespace {

// The orientation whose turn undoes this one's: the quarter turns 6 and 8 undo each other, every
// other turn undoes itself.
int Inverse(int orientation)
{
    return orientation == 6 ? 8 : orientation == 8 ? 6 : orientation;
}

void CheckTurns(const std::vector<std::uint8_t>& block)
{
    for (int orientation = 2; orientation <= 8; ++orientation) {
        std::vector<std::uint8_t> turned = block;
        if (!TurnUpright(orientation, 1 << 22, turned) || !TurnUpright(Inverse(orientation), 1 << 22, turned))
            std::abort();
        if (turned != block) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    const bool keepOrientation = data[0] & 1;
    std::vector<std::uint8_t> block, metadata;
    // Pictures up to 4 megapixels keep each run within the fuzzer's memory limit.
    if (DecodePicture(data + 1, size - 1, keepOrientation, 1 << 22, block, metadata) != FileError::None) {
        if (!block.empty() || !metadata.empty()) std::abort();
        return 0;
    }
    std::uint32_t width = 0, height = 0;
    if (!IsPackedBitmap(block.data(), width, height) || block.size() != 40 + PackedStride(width) * height) std::abort();
    const std::uint8_t* exif = nullptr;
    std::size_t exifSize = 0;
    if (!keepOrientation && FindRecord(metadata.data(), metadata.size(), "eXIf", exif, exifSize) &&
        ExifOrientation(exif, exifSize) > 1)
        std::abort();
    if (std::uint64_t{width} * height <= 4096) CheckTurns(block);
    return 0;
}
