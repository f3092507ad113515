// Any bytes as a JPEG's and a PNG's metadata, and every EXIF block found as the orientation's.
#include <cstdlib>
#include <vector>

#include "zentile/exif_orientation.h"
#include "zentile/picture_metadata.h"

namespace {

void CheckExif(std::vector<std::uint8_t> metadata)
{
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    if (!FindRecord(metadata.data(), metadata.size(), "eXIf", data, size)) return;
    std::vector<std::uint8_t> exif(data, data + size);
    const int orientation = ExifOrientation(exif.data(), exif.size());
    if (orientation < 0 || orientation > 8) std::abort();
    if (MarkExifUpright(exif.data(), exif.size()) != (orientation != 0)) std::abort();
    if (orientation != 0 && ExifOrientation(exif.data(), exif.size()) != 1) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CheckExif(ReadJpegMetadata(data, size));
    CheckExif(ReadPngMetadata(data, size));
    // The bytes as EXIF data themselves, as a damaged APP1 segment would hold them.
    std::vector<std::uint8_t> exif(data, data + size), metadata;
    AddRecord(metadata, "eXIf", exif.data(), exif.size());
    CheckExif(metadata);
    return 0;
}
