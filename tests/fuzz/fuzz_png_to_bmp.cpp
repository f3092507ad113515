// Any bytes through the PNG decoder; a decoded picture goes back through the encoder, and the
// result must be the size it claims.
#include <cstdlib>
#include <vector>

#include "zentile/codecs.h"
#include "zentile/packed_bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> block;
    // Pictures up to 4 megapixels keep each run within the fuzzer's memory limit.
    if (DecodePng(data, size, 1 << 22, block) != FileError::None) {
        if (!block.empty()) std::abort();
        return 0;
    }
    std::uint32_t width = 0, height = 0;
    if (!IsPackedBitmap(block.data(), width, height) || block.size() != 40 + PackedStride(width) * height) std::abort();
    std::vector<std::uint8_t> png;
    if (EncodePng(block.data(), 1, 1, nullptr, 0, png) != FileError::None) std::abort();
    return 0;
}
