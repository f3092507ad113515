// Any block, however damaged, unpacks without reading or writing out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "support/splash_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::unique_ptr<std::uint8_t[]> picture;
    const std::size_t produced = UnpackSplashImage(data, size, picture);
    if ((produced == 0) != (picture == nullptr) || produced > splashUnpackLimit) {
        std::abort();
    }
    return 0;
}
