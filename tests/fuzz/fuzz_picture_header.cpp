// Any bytes as a picture file's header: a size is found or refused, never read past the end, and
// the loading cost of whatever is found is a number, never an overflow.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "imagefile/picture_header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream file(std::string(reinterpret_cast<const char*>(data), size));
    PictureHeader header;
    if (ParsePictureHeader(file, size, header) != FileError::None) return 0;
    if (header.width == 0 || header.height == 0) std::abort();
    if (LoadingBytes(header) < HeldPictureBytes(header.width, header.height)) std::abort();
    return 0;
}
