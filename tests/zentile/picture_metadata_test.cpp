#include <gtest/gtest.h>

#include <vector>

#include "zentile/codecs.h"
#include "zentile/exif_orientation.h"
#include "zentile/packed_bitmap.h"
#include "zentile/picture_metadata.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Little-endian EXIF data whose IFD0 holds the orientation 6 and links to an IFD1.
Bytes SmallExif()
{
    return {'I', 'I', '*', 0, 8, 0, 0, 0,  1, 0,  0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0,  26, 0, 0, 0,  0, 0, 0, 0, 0, 0};
}

Bytes Metadata()
{
    Bytes metadata, profile(300, 0x5A);
    const Bytes exif = SmallExif();
    AddRecord(metadata, "iCCP", profile.data(), profile.size());
    AddRecord(metadata, "eXIf", exif.data(), exif.size());
    return metadata;
}

// Cut short at every length and with any byte changed, files and EXIF data yield what is intact or
// nothing; the sanitizer build checks that no byte outside them is read or written.
TEST(PictureMetadata, DamagedAndLyingBlocksAreLeftOutSafely)
{
    Bytes bitmap;
    ASSERT_TRUE(StartPackedBitmap(4, 4, largestPackedBitmap, bitmap));
    const Bytes metadata = Metadata();
    Bytes jpeg, png;
    ASSERT_TRUE(EncodeJpeg(bitmap.data(), 90, metadata.data(), metadata.size(), jpeg));
    ASSERT_TRUE(EncodePng(bitmap.data(), 6, 1, metadata.data(), metadata.size(), png));
    EXPECT_EQ(ReadJpegMetadata(jpeg.data(), jpeg.size()).size(), metadata.size());
    EXPECT_EQ(ReadPngMetadata(png.data(), png.size()).size(), metadata.size());

    for (const Bytes* file : {&jpeg, &png})
        for (std::size_t length = 0; length < 600 && length <= file->size(); ++length) {
            Bytes cut(file->begin(), file->begin() + length), changed = *file;
            changed[length % changed.size()] ^= 0xA5;
            for (const Bytes& damaged : {cut, changed}) {
                const Bytes found = file == &jpeg ? ReadJpegMetadata(damaged.data(), damaged.size())
                                                  : ReadPngMetadata(damaged.data(), damaged.size());
                const std::uint8_t* data = nullptr;
                std::size_t size = 0;
                if (FindRecord(found.data(), found.size(), "eXIf", data, size)) {
                    Bytes exif(data, data + size);
                    EXPECT_LE(ExifOrientation(exif.data(), exif.size()), 8);
                    MarkExifUpright(exif.data(), exif.size());
                }
            }
        }

    const Bytes exif = SmallExif();
    for (std::size_t length = 0; length <= exif.size(); ++length) {
        Bytes cut(exif.begin(), exif.begin() + length);
        EXPECT_EQ(ExifOrientation(cut.data(), cut.size()), length >= 26 ? 6 : 0) << length;
        EXPECT_EQ(MarkExifUpright(cut.data(), cut.size()), length >= 26) << length;
    }
    for (std::size_t at = 0; at < exif.size(); ++at)
        for (std::uint8_t value : {0x00, 0x09, 0x7F, 0xFF}) {
            Bytes lying = exif;
            lying[at] = value;
            const int orientation = ExifOrientation(lying.data(), lying.size());
            EXPECT_TRUE(orientation >= 0 && orientation <= 8);
            EXPECT_EQ(MarkExifUpright(lying.data(), lying.size()), orientation != 0);
        }
}

}  // namespace
