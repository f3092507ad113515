#include <gtest/gtest.h>

#include <cstring>

#include "imagefile/image.h"

TEST(Image, StrideCarriesWidthModFourPadding)
{
    EXPECT_EQ(RowStride(1), 4);   // 3 bytes and one padding byte
    EXPECT_EQ(RowStride(3), 12);  // 9 bytes and 3 padding bytes
    EXPECT_EQ(RowStride(4), 12);  // no padding
    EXPECT_EQ(RowStride(5), 16);
    EXPECT_EQ(RowStride(128), 384);
}

TEST(Image, AllocatedPictureHasTheProgramsOwnHeader)
{
    Image image;
    ASSERT_TRUE(AllocateImage(5, 2, image));
    EXPECT_TRUE(image.loaded);
    EXPECT_EQ(image.header->biSize, 40u);
    EXPECT_EQ(image.header->biWidth, 5);
    EXPECT_EQ(image.header->biHeight, 2);
    EXPECT_EQ(image.header->biPlanes, 1);
    EXPECT_EQ(image.header->biBitCount, 24);
    EXPECT_EQ(image.header->biCompression, 0u);
    EXPECT_EQ(image.bits, reinterpret_cast<std::uint8_t*>(image.header) + 40);
    ReleaseImage(image);
    EXPECT_FALSE(image.loaded);
    EXPECT_EQ(image.header, nullptr);
}

TEST(Image, SourceRowsDropThePadding)
{
    Image image;
    ASSERT_TRUE(AllocateImage(1, 3, image));
    for (int i = 0; i < 12; ++i) image.bits[i] = static_cast<std::uint8_t>(i + 1);
    FillSourceRows(image);
    const std::uint8_t row0[] = {1, 2, 3}, row1[] = {5, 6, 7}, row2[] = {9, 10, 11};
    EXPECT_EQ(std::memcmp(image.rows[0], row0, 3), 0);
    EXPECT_EQ(std::memcmp(image.rows[1], row1, 3), 0);
    EXPECT_EQ(std::memcmp(image.rows[2], row2, 3), 0);
}

TEST(Image, PaddingOfAPictureLeftForItsLoaderIsZero)
{
    // Big enough that the allocator hands out recycled or patterned memory where it would.
    Image image;
    ASSERT_TRUE(AllocateImage(5, 300, image));
    std::memset(image.bits, 0xA5, static_cast<std::size_t>(RowStride(5) * 300));
    ASSERT_TRUE(AllocateImage(5, 300, image, NewPixels::ToBeWritten));
    for (int y = 0; y < 300; ++y) EXPECT_EQ(image.bits[y * RowStride(5) + 15], 0) << y;
}

TEST(Image, RefusesSizesThatCannotExist)
{
    Image image;
    EXPECT_FALSE(AllocateImage(0, 10, image));
    EXPECT_FALSE(AllocateImage(10, -1, image));
    EXPECT_FALSE(AllocateImage(0x7FFFFFFF, 0x7FFFFFFF, image));
    EXPECT_FALSE(AllocateImage(40000, 40000, image));  // 4.8 GB: more than 32-bit sizes hold
    EXPECT_FALSE(image.loaded);
}
