#include "zentile/codecs.h"
#include "zentile/exif_orientation.h"
#include "zentile/packed_bitmap.h"
#include "zentile/picture_metadata.h"

FileError DecodePicture(const std::uint8_t* data, std::size_t size, bool keepOrientation, std::uint64_t maxPixels,
                        std::vector<std::uint8_t>& block, std::vector<std::uint8_t>& metadata)
{
    metadata.clear();
    const bool jpeg = size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
    const bool png = size >= 4 && data[0] == 0x89 && data[3] == 'G';
    if (!jpeg && !png) return FileError::NotAPicture;
    const FileError error =
        jpeg ? DecodeJpeg(data, size, 1, maxPixels, block) : DecodePng(data, size, maxPixels, block);
    if (error != FileError::None) return error;
    metadata = jpeg ? ReadJpegMetadata(data, size) : ReadPngMetadata(data, size);
    const std::uint8_t* exif = nullptr;
    std::size_t exifSize = 0;
    if (keepOrientation || !FindRecord(metadata.data(), metadata.size(), "eXIf", exif, exifSize))
        return FileError::None;
    const int orientation = ExifOrientation(exif, exifSize);
    if (orientation < 2) return FileError::None;
    if (!TurnUpright(orientation, maxPixels, block)) {
        block.clear();
        metadata.clear();
        return FileError::OutOfMemory;
    }
    MarkExifUpright(metadata.data() + (exif - metadata.data()), exifSize);
    return FileError::None;
}
