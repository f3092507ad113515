// Any bytes through the JPEG decoder, at every scale; the result must be the size it claims.
#include <cstdlib>
#include <vector>

#include "zentile/codecs.h"
#include "zentile/packed_bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    std::vector<std::uint8_t> block;
    // Pictures up to 4 megapixels keep each run within the fuzzer's memory limit.
    if (DecodeJpeg(data + 1, size - 1, data[0] % 9, 1 << 22, block) == FileError::None) {
        std::uint32_t width = 0, height = 0;
        if (!IsPackedBitmap(block.data(), width, height) || block.size() != 40 + PackedStride(width) * height) std::abort();
    } else if (!block.empty()) {
        std::abort();
    }
    return 0;
}
