// Any bytes as a block the converter module returned, with a size that may lie about it.
#include <cstdlib>
#include <cstring>

#include "imagefile/converter_library.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4) return 0;
    // The first four bytes are the size the module claims, the rest is the block.
    std::int32_t claimed;
    std::memcpy(&claimed, data, 4);
    const std::size_t blockSize = size - 4;
    if (claimed < 0 || static_cast<std::size_t>(claimed) > blockSize) claimed = static_cast<std::int32_t>(blockSize);
    Image image;
    if ((AdoptConvertedBitmap(data + 4, claimed, image) == FileError::None) != image.loaded) std::abort();
    return 0;
}
