// Photographs through the module as the programs use it: orientation, metadata, JPEG results.
#include <cstring>
#include <string>

#include "imagefile/image_file.h"
#include "module_fixture.h"
#include "profiles.h"
#include "zentile/exif_orientation.h"
#include "zentile/picture_metadata.h"

namespace {

using Photo = ModuleFixture;

// The upright picture: every pixel different, so any mirror or turn shows. Sides are multiples of
// 16 so that a JPEG's blocks and halved colour fall inside the cells of JPEG pictures.
constexpr int uprightWidth = 48, uprightHeight = 32;
void UprightColour(int u, int v, int cell, std::uint8_t bgr[3])
{
    bgr[0] = static_cast<std::uint8_t>(40 + 60 * (u / cell));
    bgr[1] = static_cast<std::uint8_t>(30 + 70 * (v / cell));
    bgr[2] = static_cast<std::uint8_t>((u / cell + v / cell) % 2 ? 220 : 20);
}

// The picture as a camera stores it for an orientation tag, by the tag's definition: where the
// stored picture's first row and first column are seen (1 top/left, 2 top/right, 3 bottom/right,
// 4 bottom/left, 5 left/top, 6 right/top, 7 right/bottom, 8 left/bottom).
Image StoredFor(int orientation, int cell)
{
    const int W = uprightWidth, H = uprightHeight;
    const bool turned = orientation >= 5;
    Image image;
    EXPECT_TRUE(AllocateImage(turned ? H : W, turned ? W : H, image));
    for (int y = 0; y < image.header->biHeight; ++y)
        for (int x = 0; x < image.header->biWidth; ++x) {
            const int u[9] = {0, x, W - 1 - x, W - 1 - x, x, y, W - 1 - y, W - 1 - y, y};
            const int v[9] = {0, y, y, H - 1 - y, H - 1 - y, x, x, H - 1 - x, H - 1 - x};
            UprightColour(u[orientation], v[orientation], cell, const_cast<std::uint8_t*>(Pixel(image, x, y)));
        }
    FillSourceRows(image);
    return image;
}

void PutU16(Bytes& bytes, std::size_t at, std::uint32_t value, bool big)
{
    bytes[at + (big ? 1 : 0)] = static_cast<std::uint8_t>(value);
    bytes[at + (big ? 0 : 1)] = static_cast<std::uint8_t>(value >> 8);
}
void PutU32(Bytes& bytes, std::size_t at, std::uint32_t value, bool big)
{
    for (int i = 0; i < 4; ++i) bytes[at + (big ? 3 - i : i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// EXIF data: IFD0 with the camera's make and the orientation, linked to an IFD1 (a thumbnail's).
Bytes MakeExif(int orientation, bool big)
{
    Bytes exif(8 + 2 + 2 * 12 + 4 + 2 + 12 + 4, 0);
    std::memcpy(exif.data(), big ? "MM\0*" : "II*\0", 4);
    PutU32(exif, 4, 8, big);
    PutU16(exif, 8, 2, big);
    PutU16(exif, 10, 0x010F, big);  // Make, ASCII, 4 bytes held in place
    PutU16(exif, 12, 2, big);
    PutU32(exif, 14, 4, big);
    std::memcpy(exif.data() + 18, "Cam", 4);
    PutU16(exif, 22, 0x0112, big);  // Orientation, SHORT, 1
    PutU16(exif, 24, 3, big);
    PutU32(exif, 26, 1, big);
    PutU16(exif, 30, static_cast<std::uint32_t>(orientation), big);
    PutU32(exif, 34, 38, big);      // next directory: IFD1
    PutU16(exif, 38, 1, big);
    PutU16(exif, 40, 0x0201, big);  // JPEGInterchangeFormat, LONG, 1
    PutU16(exif, 42, 4, big);
    PutU32(exif, 44, 1, big);
    return exif;
}

Bytes Record(const Image& image, const char type[4])
{
    const std::uint8_t* data = nullptr;
    std::size_t length = 0;
    if (!FindRecord(image.metadata.data(), image.metadata.size(), type, data, length)) return {};
    return Bytes(data, data + length);
}

TEST_F(Photo, EveryOrientationComesBackUpright)
{
    for (bool jpeg : {false, true})
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE(std::string(jpeg ? "JPEG" : "PNG") + " orientation " + std::to_string(orientation));
            const int cell = jpeg ? 16 : 1;
            Image stored = StoredFor(orientation, cell);
            const Bytes exif = MakeExif(orientation, orientation % 2 == 0);
            AddRecord(stored.metadata, "eXIf", exif.data(), exif.size());
            const std::string path = Path(jpeg ? "photo.jpg" : "photo.png");
            ASSERT_EQ(jpeg ? SaveJpegFile(stored, path, 100) : SavePngFile(stored, path), FileError::None);

            Image image;
            ASSERT_EQ(LoadImageFile(path, image), FileError::None);
            ASSERT_EQ(image.header->biWidth, uprightWidth);
            ASSERT_EQ(image.header->biHeight, uprightHeight);
            for (int v = cell / 2; v < uprightHeight; v += cell)
                for (int u = cell / 2; u < uprightWidth; u += cell) {
                    std::uint8_t expected[3];
                    UprightColour(u, v, cell, expected);
                    for (int c = 0; c < 3; ++c) ASSERT_NEAR(Pixel(image, u, v)[c], expected[c], jpeg ? 6 : 0) << u << "," << v;
                }
            const Bytes kept = Record(image, "eXIf");
            EXPECT_EQ(ExifOrientation(kept.data(), kept.size()), 1);
            EXPECT_EQ(kept.size(), exif.size());

            ASSERT_EQ(LoadImageFile(path, image, LoadChoices{.keepOrientation = true}), FileError::None);
            EXPECT_EQ(image.header->biWidth, stored.header->biWidth);
            EXPECT_EQ(Record(image, "eXIf"), exif) << "as stored, the tag still applies";
        }
}

TEST_F(Photo, TurningDropsTheThumbnailLinkAndNothingElse)
{
    Image stored = StoredFor(6, 1);
    const Bytes exif = MakeExif(6, true);
    AddRecord(stored.metadata, "eXIf", exif.data(), exif.size());
    ASSERT_EQ(SavePngFile(stored, Path("p.png")), FileError::None);
    Image image;
    ASSERT_EQ(LoadImageFile(Path("p.png"), image), FileError::None);
    Bytes expected = exif;
    PutU16(expected, 30, 1, true);
    PutU32(expected, 34, 0, true);
    EXPECT_EQ(Record(image, "eXIf"), expected);
}

TEST_F(Photo, ProfileAndExifGoThroughUnchanged)
{
    const Bytes profile = MakeProfile(150000);  // three APP2 parts in a JPEG
    const Bytes exif = MakeExif(1, false);
    Image picture = StoredFor(1, 16);
    AddRecord(picture.metadata, "iCCP", profile.data(), profile.size());
    AddRecord(picture.metadata, "eXIf", exif.data(), exif.size());
    ASSERT_EQ(SaveJpegFile(picture, Path("a.jpg"), 90), FileError::None);

    Image fromJpeg, fromPng, again;
    ASSERT_EQ(LoadImageFile(Path("a.jpg"), fromJpeg), FileError::None);
    EXPECT_EQ(Record(fromJpeg, "iCCP"), profile) << "JPEG to JPEG";
    EXPECT_EQ(Record(fromJpeg, "eXIf"), exif);
    ASSERT_EQ(SavePngFile(fromJpeg, Path("b.png")), FileError::None);
    ASSERT_EQ(LoadImageFile(Path("b.png"), fromPng), FileError::None);
    EXPECT_EQ(Record(fromPng, "iCCP"), profile) << "JPEG to PNG";
    EXPECT_EQ(Record(fromPng, "eXIf"), exif);
    ASSERT_EQ(SavePngFile(fromPng, Path("c.png")), FileError::None);
    ASSERT_EQ(LoadImageFile(Path("c.png"), again), FileError::None);
    EXPECT_EQ(again.metadata, fromPng.metadata) << "PNG to PNG";

    // PNG's own colour chunks, without a profile.
    Image colours = StoredFor(1, 1);
    const Bytes srgb = {0}, gamma = {0, 0, 0xB1, 0x8F}, chromaticities = SrgbChromaticities();
    AddRecord(colours.metadata, "sRGB", srgb.data(), srgb.size());
    AddRecord(colours.metadata, "gAMA", gamma.data(), gamma.size());
    AddRecord(colours.metadata, "cHRM", chromaticities.data(), chromaticities.size());
    ASSERT_EQ(SavePngFile(colours, Path("d.png")), FileError::None);
    ASSERT_EQ(LoadImageFile(Path("d.png"), again), FileError::None);
    EXPECT_EQ(Record(again, "sRGB"), srgb);
    EXPECT_EQ(Record(again, "gAMA"), gamma);
    EXPECT_EQ(Record(again, "cHRM"), chromaticities);

    colours.metadata.clear();  // what --strip hands over
    ASSERT_EQ(SavePngFile(colours, Path("e.png")), FileError::None);
    ASSERT_EQ(LoadImageFile(Path("e.png"), again), FileError::None);
    EXPECT_TRUE(again.metadata.empty());
}

TEST_F(Photo, JpegQualityIsHonoured)
{
    Image picture = StoredFor(1, 16);
    std::uintmax_t sizes[3] = {};
    int errors[3] = {};
    const int qualities[3] = {20, 60, 95};
    for (int i = 0; i < 3; ++i) {
        // Appended rather than "q" + ...: GCC 12 warns falsely (-Wrestrict) about inserting before a number.
        const std::string path = Path(std::string("q").append(std::to_string(qualities[i])).append(".jpg"));
        ASSERT_EQ(SaveJpegFile(picture, path, qualities[i]), FileError::None);
        sizes[i] = std::filesystem::file_size(PathFromUtf8(path));
        Image back;
        ASSERT_EQ(LoadImageFile(path, back), FileError::None);
        for (int y = 0; y < uprightHeight; ++y)
            for (int x = 0; x < 3 * uprightWidth; ++x) errors[i] += std::abs(back.rows[y][x] - picture.rows[y][x]);
    }
    EXPECT_TRUE(sizes[0] < sizes[1] && sizes[1] < sizes[2]) << sizes[0] << " " << sizes[1] << " " << sizes[2];
    EXPECT_TRUE(errors[0] > errors[1] && errors[1] > errors[2]) << errors[0] << " " << errors[1] << " " << errors[2];
    // Hard edges between the cells, and colour kept at half resolution: a mean error of a few levels.
    EXPECT_LT(errors[2], 4 * uprightWidth * uprightHeight * 3) << "quality 95: mean error below 4";
}

}  // namespace
