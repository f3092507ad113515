#include <cstring>
#include <sstream>

#include "imagefile/bmp_file.h"
#include "imagefile/image_file.h"
#include "picture_files.h"

namespace {

bool ReadFromBytes(const Bytes& bytes, Image& image)
{
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    return ReadBmp(in, bytes.size(), image) == FileError::None;
}

void ExpectPixelsOf(const Image& image, std::int32_t width, std::int32_t height)
{
    ASSERT_TRUE(image.loaded);
    EXPECT_EQ(image.header->biSize, 40u);
    EXPECT_EQ(image.header->biWidth, width);
    EXPECT_EQ(image.header->biHeight, height);
    EXPECT_EQ(image.header->biXPelsPerMeter, 2835);
    const std::int64_t stride = RowStride(width);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int64_t i = 0; i < width * 3; ++i) {
            ASSERT_EQ(image.bits[y * stride + i], PixelByte(y, i)) << "row " << y << " byte " << i;
            ASSERT_EQ(image.rows[y][i], PixelByte(y, i)) << "source row " << y << " byte " << i;
        }
}

TEST(BmpReading, ThreeWideRowsKeepTheirPaddingAndSourceRowsDropIt)
{
    Image image;
    const Bytes file = MakeBmp({.width = 3, .height = 2});
    ASSERT_EQ(file.size(), 54u + 2 * 12);
    ASSERT_TRUE(ReadFromBytes(file, image));
    ExpectPixelsOf(image, 3, 2);
    EXPECT_EQ(image.bits[9], 0xEE);  // padding keeps what the file held
    EXPECT_EQ(std::memcmp(image.header, file.data() + 14, 40), 0);  // header carried unchanged
}

TEST(BmpReading, LargerHeadersTopDownAndGapsReadIntoTheProgramsLayout)
{
    for (std::uint32_t infoSize : {40u, 108u, 124u})
        for (std::int32_t height : {5, -5})
            for (std::uint32_t gap : {0u, 12u}) {
                SCOPED_TRACE(::testing::Message() << infoSize << " " << height << " " << gap);
                Image image;
                ASSERT_TRUE(ReadFromBytes(MakeBmp({.width = 6, .height = height, .infoSize = infoSize, .gap = gap}), image));
                ExpectPixelsOf(image, 6, 5);
            }
}

TEST(BmpReading, RefusesWhatItCannotReadAndWhatLies)
{
    Image image;
    ASSERT_TRUE(ReadFromBytes(MakeBmp({}), image));

    const std::vector<BmpShape> refused = {
        {.bitCount = 8}, {.bitCount = 32}, {.compression = 1}, {.width = 0}, {.height = 0},
        {.width = -3}, {.height = INT32_MIN}, {.infoSize = 12}};
    for (const BmpShape& shape : refused) {
        EXPECT_FALSE(ReadFromBytes(MakeBmp(shape), image)) << shape.width << "x" << shape.height;
        EXPECT_FALSE(image.loaded);
    }

    const Bytes good = MakeBmp({.width = 5, .height = 4});
    for (std::size_t length = 0; length < good.size(); ++length)
        ASSERT_FALSE(ReadFromBytes(Bytes(good.begin(), good.begin() + length), image)) << length;

    // Sizes whose byte counts overflow 32-bit (and 64-bit) products, in a tiny file.
    for (auto [width, height] : {std::pair{0x7FFFFFFF, 0x7FFFFFFF}, {0x7FFFFFFF, -0x7FFFFFFF}, {65536, 65536}, {1, 0x40000000}}) {
        Bytes lying = MakeBmp({.width = 1, .height = 1});
        PutLe(lying, 18, static_cast<std::uint32_t>(width), 4);
        PutLe(lying, 22, static_cast<std::uint32_t>(height), 4);
        EXPECT_FALSE(ReadFromBytes(lying, image)) << width << "x" << height;
    }
    Bytes pixelsBeyondEnd = good;
    PutLe(pixelsBeyondEnd, 10, good.size() - 10, 4);
    EXPECT_FALSE(ReadFromBytes(pixelsBeyondEnd, image));
    Bytes pixelsInsideHeader = good;
    PutLe(pixelsInsideHeader, 10, 20, 4);
    EXPECT_FALSE(ReadFromBytes(pixelsInsideHeader, image));
    Bytes headerBeyondEnd = good;
    PutLe(headerBeyondEnd, 14, 0xFFFFFFF0, 4);
    EXPECT_FALSE(ReadFromBytes(headerBeyondEnd, image));
    EXPECT_FALSE(image.loaded);
}

using BmpSaving = ScratchFolder;

TEST_F(BmpSaving, FiveByTwoGivesEightySixBytesFieldByField)
{
    Image image;
    ASSERT_TRUE(ReadFromBytes(MakeBmp({.width = 5, .height = 2, .infoSize = 124, .gap = 4}), image));
    const std::string path = Path("out.bmp");
    ASSERT_EQ(SaveBmpFile(image, path), FileError::None);
    const Bytes saved = Read(path);
    ASSERT_EQ(saved.size(), 86u);
    Bytes expected(14, 0);
    expected[0] = 'B';
    expected[1] = 'M';
    PutLe(expected, 2, 86, 4);
    PutLe(expected, 10, 54, 4);
    const std::uint8_t* header = reinterpret_cast<const std::uint8_t*>(image.header);
    expected.insert(expected.end(), header, header + 40);
    expected.insert(expected.end(), image.bits, image.bits + 32);
    EXPECT_EQ(saved, expected);

    Image again;
    ASSERT_EQ(LoadImageFile(path, again), FileError::None);
    EXPECT_EQ(std::memcmp(again.dib.get(), image.dib.get(), 40 + 32), 0);
}

TEST_F(BmpSaving, FailedSaveLeavesWhatWasThereAndNoPartialFile)
{
    Image image;
    ASSERT_TRUE(ReadFromBytes(MakeBmp({}), image));
    EXPECT_NE(SaveBmpFile(image, Path("missing/out.bmp")), FileError::None);
    EXPECT_EQ(Entries(), 0);

    const std::string occupied = Path("occupied.bmp");
    std::filesystem::create_directory(PathFromUtf8(occupied));
    Write("occupied.bmp/kept", {'k'});
    EXPECT_NE(SaveBmpFile(image, occupied), FileError::None);
    EXPECT_EQ(Read(occupied + "/kept"), Bytes{'k'});
    EXPECT_EQ(Entries(), 1);

    ReleaseImage(image);
    EXPECT_NE(SaveBmpFile(image, Path("nothing.bmp")), FileError::None);
    EXPECT_EQ(Entries(), 1);
}

}  // namespace
