// The packer and the unpacker agree on every input: what is packed unpacks to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "support/splash_image.h"
#include "tools/splash_encoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;  // an empty picture is not a picture
    }
    const std::vector<std::uint8_t> block = PackSplashImage({data, size});
    std::unique_ptr<std::uint8_t[]> picture;
    if (UnpackSplashImage(block.data(), block.size(), picture) != size || std::memcmp(picture.get(), data, size) != 0) {
        std::abort();
    }
    return 0;
}
