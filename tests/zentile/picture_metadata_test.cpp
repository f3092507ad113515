#include <gtest/gtest.h>

#include <vector>

#include "profiles.h"
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
    Bytes metadata, profile = MakeProfile(300);
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
    ASSERT_EQ(EncodeJpeg(bitmap.data(), 90, metadata.data(), metadata.size(), jpeg), FileError::None);
    ASSERT_EQ(EncodePng(bitmap.data(), 6, 1, metadata.data(), metadata.size(), png), FileError::None);
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

// The profile and the colour chunks a PNG (and, for profiles, a JPEG) carries back, when written
// with this one record.
Bytes CarriedBack(const char type[4], const Bytes& data, bool jpeg)
{
    Bytes bitmap, metadata, file;
    StartPackedBitmap(4, 4, largestPackedBitmap, bitmap);
    AddRecord(metadata, type, data.data(), data.size());
    if (jpeg) EXPECT_EQ(EncodeJpeg(bitmap.data(), 90, metadata.data(), metadata.size(), file), FileError::None);
    else EXPECT_EQ(EncodePng(bitmap.data(), 6, 1, metadata.data(), metadata.size(), file), FileError::None);
    const Bytes found = jpeg ? ReadJpegMetadata(file.data(), file.size()) : ReadPngMetadata(file.data(), file.size());
    const std::uint8_t* at = nullptr;
    std::size_t size = 0;
    return FindRecord(found.data(), found.size(), type, at, size) ? Bytes(at, at + size) : Bytes();
}

// Only what describes an 8-bit RGB result goes on: a profile whose header is whole and true and
// says RGB, and colour chunks within their ranges.
TEST(PictureMetadata, ForeignJunkAndOutOfRangeColourDataIsLeftOut)
{
    const Bytes rgb = MakeProfile(400);
    Bytes lying = rgb;
    lying[3] = 0x80;  // a false size
    const Bytes rejected[] = {MakeProfile(400, "GRAY"), MakeProfile(400, "CMYK"), Bytes(25, 'x'),
                              Bytes(rgb.begin(), rgb.begin() + 300), lying};
    for (bool jpeg : {false, true}) {
        EXPECT_EQ(CarriedBack("iCCP", rgb, jpeg), rgb);
        for (const Bytes& profile : rejected)
            EXPECT_TRUE(CarriedBack("iCCP", profile, jpeg).empty()) << jpeg << " " << profile.size();
    }
    const Bytes chromaticities = SrgbChromaticities();
    Bytes farWhite = chromaticities, noWhite = chromaticities;
    farWhite[0] = farWhite[1] = farWhite[2] = farWhite[3] = 0xFF;
    noWhite[4] = noWhite[5] = noWhite[6] = noWhite[7] = 0;
    EXPECT_EQ(CarriedBack("sRGB", {3}, false), Bytes{3});
    EXPECT_EQ(CarriedBack("gAMA", {0, 0, 0xB1, 0x8F}, false), (Bytes{0, 0, 0xB1, 0x8F}));
    EXPECT_EQ(CarriedBack("cHRM", chromaticities, false), chromaticities);
    for (const auto& [type, data] : {std::pair<const char*, Bytes>{"sRGB", {9}},
                                     {"gAMA", {0, 0, 0, 0}},
                                     {"gAMA", {0x80, 0, 0, 1}},
                                     {"cHRM", farWhite},
                                     {"cHRM", noWhite}})
        EXPECT_TRUE(CarriedBack(type, data, false).empty()) << type;
}

TEST(PictureMetadata, AProfileTooLargeForJpegOrForItsFileIsLeftOut)
{
    // Past 255 APP2 parts their 8-bit numbers would wrap: the JPEG goes without the profile.
    Bytes bitmap, metadata, jpeg;
    StartPackedBitmap(4, 4, largestPackedBitmap, bitmap);
    const Bytes huge = MakeProfile(largestProfile + 1, "RGB ", false);
    AddRecord(metadata, "iCCP", huge.data(), huge.size());
    ASSERT_EQ(EncodeJpeg(bitmap.data(), 90, metadata.data(), metadata.size(), jpeg), FileError::None);
    EXPECT_LT(jpeg.size(), 10000u);
    // A PNG of some kilobytes whose profile unpacks to 16 MiB, and one that unpacks to half a MiB.
    EXPECT_TRUE(CarriedBack("iCCP", MakeProfile(16u << 20, "RGB ", false), false).empty());
    const Bytes kept = MakeProfile(1u << 19, "RGB ", false);
    EXPECT_EQ(CarriedBack("iCCP", kept, false), kept);
}

}  // namespace
