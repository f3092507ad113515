#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "imagefile/bitmap_header.h"
#include "support/splash_image.h"
#include "tools/splash_encoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Unpack(const Bytes& block, std::size_t* produced = nullptr)
{
    std::unique_ptr<std::uint8_t[]> picture;
    const std::size_t size = UnpackSplashImage(block.data(), block.size(), picture);
    if (produced != nullptr) {
        *produced = size;
    }
    if (size == 0) {
        EXPECT_EQ(picture, nullptr);
        return {};
    }
    return Bytes(picture.get(), picture.get() + size);
}

// A block around a hand-written LZSS stream: the stream, its output length, then Huffman coding.
Bytes BlockFromLzss(Bytes stream, std::uint32_t outputLength)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        stream.push_back(static_cast<std::uint8_t>(outputLength >> shift));
    }
    return PackHuffman(stream);
}

// A reference: 12-bit window position and a length of 3 to 18.
void Reference(Bytes& stream, unsigned position, unsigned length)
{
    stream.push_back(static_cast<std::uint8_t>(position & 0xFF));
    stream.push_back(static_cast<std::uint8_t>((position >> 4 & 0xF0) | (length - 3)));
}

TEST(SplashLzss, WindowStartsZeroedAndLiteralsGoFrom4084)
{
    // Literals A B C land at 4084..4086; position 0 was never written.
    Bytes stream = {0b0000'0111, 'A', 'B', 'C'};
    Reference(stream, 0, 5);
    Reference(stream, 4084, 3);
    EXPECT_EQ(Unpack(BlockFromLzss(stream, 11)), (Bytes{'A', 'B', 'C', 0, 0, 0, 0, 0, 'A', 'B', 'C'}));
}

TEST(SplashLzss, OverlappingReferenceRepeatsWhatItJustWrote)
{
    Bytes stream = {0b0000'0011, 'x', 'y'};
    Reference(stream, 4084, 18);  // two bytes behind the write position; writes across the window's end
    Reference(stream, 7, 18);     // one byte behind (the write position is now 8): a run of that byte
    Bytes expected = {'x', 'y'};
    for (int i = 0; i < 9; ++i) {
        expected.insert(expected.end(), {'x', 'y'});
    }
    expected.insert(expected.end(), 18, 'y');
    EXPECT_EQ(Unpack(BlockFromLzss(stream, 38)), expected);
}

TEST(SplashLzss, StreamEndsWhereverItsInputEnds)
{
    Bytes eight = {0xFF, '1', '2', '3', '4', '5', '6', '7', '8'};
    Bytes trailingFlag = eight;
    trailingFlag.push_back(0xFF);
    EXPECT_EQ(Unpack(BlockFromLzss(trailingFlag, 8)), Bytes(eight.begin() + 1, eight.end()));

    // A reference cut after its first byte and a flag byte announcing more than there is.
    Bytes cutReference = {0b0000'0001, 'z', 0x00};
    EXPECT_EQ(Unpack(BlockFromLzss(cutReference, 4)), (Bytes{'z'}));

    // The picture buffer has the announced length even when the stream fills less of it.
    std::size_t produced = 0;
    EXPECT_EQ(Unpack(BlockFromLzss({0b0000'0001, 'q'}, 4), &produced), (Bytes{'q'}));
    EXPECT_EQ(produced, 1u);
}

TEST(SplashLzss, OutputNeverExceedsTheAnnouncedLength)
{
    Bytes stream = {0b0000'0001, 'a'};
    Reference(stream, 4084, 18);
    EXPECT_EQ(Unpack(BlockFromLzss(stream, 5)), Bytes(5, 'a'));
}

TEST(SplashImage, RoundTripsRandomAndRepetitiveData)
{
    std::mt19937 random(5);
    for (std::size_t size : {1u, 2u, 17u, 18u, 19u, 4095u, 4097u, 70000u}) {
        Bytes noise(size);
        for (auto& b : noise) {
            b = static_cast<std::uint8_t>(random());
        }
        EXPECT_EQ(Unpack(PackSplashImage(noise)), noise) << "noise of " << size;

        // Few symbols and long repeats: references of every length, reaching across the window.
        Bytes repeats(size);
        for (std::size_t i = 0; i < size; ++i) {
            repeats[i] = (i / 7) % 5 == 0 ? static_cast<std::uint8_t>(random() % 3) : repeats[i >= 4096 ? i - 4096 : i / 2];
        }
        EXPECT_EQ(Unpack(PackSplashImage(repeats)), repeats) << "repeats of " << size;
    }
    EXPECT_EQ(Unpack(PackSplashImage(Bytes(50000, 0))), Bytes(50000, 0));
}

TEST(SplashImage, DamagedBlocksGiveNothing)
{
    Bytes picture(3000);
    for (std::size_t i = 0; i < picture.size(); ++i) {
        picture[i] = static_cast<std::uint8_t>(i * i % 251);
    }
    const Bytes block = PackSplashImage(picture);

    // Every truncation is read safely; the length then no longer fits the codes.
    for (std::size_t cut = 0; cut < block.size(); ++cut) {
        EXPECT_EQ(Unpack(Bytes(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(cut))), Bytes{}) << cut;
    }

    Bytes huge = block;
    std::memset(huge.data() + huge.size() - 4, 0xFF, 4);
    EXPECT_EQ(Unpack(huge), Bytes{});

    // Only inner nodes: the tree outgrows the 256 inner nodes a byte alphabet needs.
    Bytes innerOnly(200, 0xFF);
    innerOnly.insert(innerOnly.end(), {0, 0, 0, 8});
    EXPECT_EQ(Unpack(innerOnly), Bytes{});

    // A picture length the stream cannot reach.
    EXPECT_EQ(Unpack(BlockFromLzss({0xFF, 'a', 'b'}, 100)), Bytes{});
    EXPECT_EQ(Unpack(BlockFromLzss({0xFF, 'a', 'b'}, 0)), Bytes{});
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SplashImage, StartUpPictureUnpacksToItsSource)
{
    std::unique_ptr<std::uint8_t[]> picture;
    ASSERT_EQ(UnpackSplashImage(splashBlock, splashBlockSize, picture), 138042u);
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(picture.get()) % alignof(BitmapInfoHeader), 0u);
    const auto* header = reinterpret_cast<const BitmapInfoHeader*>(picture.get());
    EXPECT_EQ(header->biSize, 40u);
    EXPECT_EQ(header->biWidth, 200);
    EXPECT_EQ(header->biHeight, 230);
    EXPECT_EQ(header->biPlanes, 1);
    EXPECT_EQ(header->biBitCount, 24);
    EXPECT_EQ(header->biCompression, 0u);
    EXPECT_EQ(header->biSizeImage, 0u);
    EXPECT_EQ(header->biXPelsPerMeter, 2834);
    EXPECT_EQ(header->biYPelsPerMeter, 2834);
    EXPECT_EQ(header->biClrUsed, 0u);
    EXPECT_EQ(header->biClrImportant, 0u);

    // The checked-in block is the packed form of the checked-in picture.
    Bytes source;
    ASSERT_TRUE(SplashPictureFromBmp(ReadFile(QV_SOURCE_DIR "/resources/splash.bmp"), source));
    EXPECT_TRUE(std::equal(source.begin(), source.end(), picture.get()));

    // The progress window's mark needs white around it and no white inside its tile.
    const std::uint8_t* bits = picture.get() + 40;
    auto isWhite = [&](int x, int y) {
        const std::uint8_t* p = bits + (229 - y) * 600 + x * 3;
        return p[0] == 255 && p[1] == 255 && p[2] == 255;
    };
    EXPECT_TRUE(isWhite(47, 200));
    EXPECT_FALSE(isWhite(10, 210));
}

TEST(SplashEncoder, RejectsWhatIsNotAnUncompressedBmp)
{
    Bytes file = ReadFile(QV_SOURCE_DIR "/resources/splash.bmp");
    Bytes picture;
    ASSERT_TRUE(SplashPictureFromBmp(file, picture));
    EXPECT_FALSE(SplashPictureFromBmp(Bytes(file.begin(), file.end() - 1), picture));
    Bytes eightBit = file;
    eightBit[28] = 8;
    EXPECT_FALSE(SplashPictureFromBmp(eightBit, picture));
    EXPECT_FALSE(SplashPictureFromBmp(Bytes{'B', 'M'}, picture));
}

}  // namespace
