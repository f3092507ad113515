#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "imagefile/image_file.h"
#include "imagefile/module_loading.h"
#include "module_fixture.h"
#include "png_crc.h"
#include "sample_pixels.h"
#include "zentile/zentile.h"

namespace {

using Zentile = ModuleFixture;

// A sample as a PNG reader widens it to 16 bits: low depths scaled to 8 bits first.
std::uint32_t Widened(std::uint16_t value, int depth)
{
    const std::uint32_t stored = value >> (16 - depth);
    if (depth == 16) return stored;
    return (depth == 8 ? stored : stored * 255 / ((1u << depth) - 1)) * 257;
}

// Transparent pixels composited onto white, then reduced to 8 bits, both rounded to nearest.
std::uint8_t OnWhite(std::uint32_t value, std::uint32_t alpha)
{
    const std::uint64_t composited = (std::uint64_t{value} * alpha + 65535ull * (65535 - alpha) + 32767) / 65535;
    return static_cast<std::uint8_t>((composited * 255 + 32767) / 65535);
}

struct PngSample {
    const char* name;
    int depth;
    bool grey, alpha, palette, key;
};

// Expected blue, green, red of one pixel of a sample.
void ExpectedPixel(const PngSample& s, int x, int y, std::uint8_t bgr[3])
{
    std::uint32_t rgb[3], alpha = 65535;
    for (int c = 0; c < 3; ++c) {
        if (s.palette) rgb[c] = PaletteValue(SampleIndex(x, y), c) * 257u;
        else rgb[c] = Widened(SampleValue(x, y, s.grey ? 0 : c), s.depth);
    }
    if (s.palette) alpha = PaletteAlpha(SampleIndex(x, y)) * 257u;
    if (s.alpha) alpha = Widened(SampleAlpha(x, y), s.depth);
    if (s.key) {
        bool same = true;
        for (int c = 0; c < 3; ++c) same = same && SampleValue(x, y, s.grey ? 0 : c) >> 8 == SampleValue(0, 0, s.grey ? 0 : c) >> 8;
        if (same) alpha = 0;
    }
    for (int c = 0; c < 3; ++c) bgr[2 - c] = OnWhite(rgb[c], alpha);
}

TEST_F(Zentile, EveryPngColourTypeDepthAndInterlacingDecodesExactly)
{
    const PngSample samples[] = {
        {"palette4", 4, false, false, true, false}, {"palette8", 8, false, false, true, false},
        {"grey1", 1, true, false, false, false},    {"grey2", 2, true, false, false, false},
        {"grey4", 4, true, false, false, false},    {"grey8", 8, true, false, false, false},
        {"grey16", 16, true, false, false, false},  {"grey8key", 8, true, false, false, true},
        {"greyalpha8", 8, true, true, false, false}, {"greyalpha16", 16, true, true, false, false},
        {"rgb8", 8, false, false, false, false},    {"rgb8interlaced", 8, false, false, false, false},
        {"rgb16", 16, false, false, false, false},  {"rgb8key", 8, false, false, false, true},
        {"rgba8", 8, false, true, false, false},    {"rgba16", 16, false, true, false, false},
    };
    for (const PngSample& sample : samples) {
        SCOPED_TRACE(sample.name);
        Image image;
        ASSERT_EQ(LoadImageFile(std::string("samples/") + sample.name + ".png", image), FileError::None);
        ASSERT_EQ(image.header->biWidth, sampleWidth);
        ASSERT_EQ(image.header->biHeight, sampleHeight);
        for (int y = 0; y < sampleHeight; ++y)
            for (int x = 0; x < sampleWidth; ++x) {
                std::uint8_t expected[3];
                ExpectedPixel(sample, x, y, expected);
                const std::uint8_t* got = Pixel(image, x, y);
                ASSERT_TRUE(std::memcmp(got, expected, 3) == 0)
                    << "pixel " << x << "," << y << ": " << int(got[0]) << " " << int(got[1]) << " " << int(got[2])
                    << " instead of " << int(expected[0]) << " " << int(expected[1]) << " " << int(expected[2]);
            }
    }
}

TEST_F(Zentile, JpegKindsDecodeCloseToTheirSource)
{
    for (const char* name : {"baseline", "progressive", "grey", "cmyk"}) {
        SCOPED_TRACE(name);
        // Named .bmp: the content decides.
        const std::string path = Write(std::string(name) + ".bmp", Read(std::string("samples/") + name + ".jpg"));
        Image image;
        ASSERT_EQ(LoadImageFile(path, image), FileError::None);
        ASSERT_EQ(image.header->biWidth, jpegWidth);
        ASSERT_EQ(image.header->biHeight, jpegHeight);
        const bool grey = std::string(name) == "grey";
        int total = 0, worst = 0;
        for (int y = 0; y < jpegHeight; ++y)
            for (int x = 0; x < jpegWidth; ++x)
                for (int c = 0; c < 3; ++c) {
                    const int error = std::abs(Pixel(image, x, y)[2 - c] - JpegValue(x, y, grey ? 0 : c));
                    total += error;
                    worst = std::max(worst, error);
                }
        EXPECT_LE(total, jpegWidth * jpegHeight * 3 * 3) << "mean error above 3";
        EXPECT_LE(worst, 24);
    }
}

TEST_F(Zentile, JpegScaleDenominatorShrinksThePicture)
{
    void* module = OpenModule("./" zentile_module);
    ASSERT_NE(module, nullptr);
    const auto jpgToBmp = reinterpret_cast<JpgToBmpCall>(FindExport(module, "JpgToBmp"));
    for (auto [denominator, width, height] : {std::tuple{1, 16, 8}, {2, 8, 4}, {4, 4, 2}, {8, 2, 1}, {0, 16, 8}, {3, 16, 8}}) {
        std::int32_t size = denominator;
        const std::uint8_t* block = jpgToBmp("samples/baseline.jpg", &size);
        ASSERT_EQ(size, 40 + height * RowStride(width)) << denominator;
        BitmapInfoHeader header;
        std::memcpy(&header, block, sizeof header);
        EXPECT_EQ(header.biWidth, width);
        EXPECT_EQ(header.biHeight, height);
    }
    std::int32_t size = 1;
    EXPECT_EQ(jpgToBmp("samples/absent.jpg", &size), nullptr);
    EXPECT_EQ(size, 0);
    CloseModule(module);
}

TEST_F(Zentile, BmpToPngToBmpIsPixelIdentical)
{
    for (int width : {1, 2, 3, 4, 5, 257}) {
        Image original;
        ASSERT_EQ(LoadImageFile(Write("写真.bmp", MakeBmp({.width = width, .height = -3})), original), FileError::None);
        std::string path = SaveNameStem(Path("写真.bmp"));
        ASSERT_EQ(SaveImageFile(original, path), FileError::None);
        EXPECT_EQ(path, Path("写真'.png"));
        Image again;
        ASSERT_EQ(LoadImageFile(path, again), FileError::None);
        ASSERT_EQ(again.header->biWidth, width);
        ASSERT_EQ(again.header->biHeight, 3);
        for (int y = 0; y < 3; ++y)
            ASSERT_EQ(std::memcmp(again.rows[y], original.rows[y], 3 * width), 0) << width << " row " << y;
    }
    EXPECT_EQ(Entries(), 2);
}

void PutBe32(Bytes& to, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) to[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

std::uint32_t Be32(const Bytes& from, std::size_t at)
{
    return std::uint32_t{from[at]} << 24 | from[at + 1] << 16 | from[at + 2] << 8 | from[at + 3];
}

// Where a PNG's first IDAT chunk starts (its length field).
std::size_t FirstIdat(const Bytes& png)
{
    std::size_t at = 8;
    while (std::memcmp(png.data() + at + 4, "IDAT", 4) != 0) at += 12 + Be32(png, at);
    return at;
}

TEST_F(Zentile, DamagedFilesAreRefusedWithTheirReason)
{
    // The same reasons in every build: the same codecs, and their complaints read the same way.
    struct Case {
        std::string name;
        Bytes bytes;
        FileError reason;
    };
    std::vector<Case> cases;
    for (const char* name : {"baseline420.jpg", "progressive420.jpg", "rgb8.png", "interlaced8.png"}) {
        const Bytes whole = Read(std::string("golden/") + name);
        for (std::size_t length : {std::size_t{4}, std::size_t{30}, whole.size() / 2, whole.size() - 20})
            cases.push_back({name + std::string(" cut at ") + std::to_string(length),
                             Bytes(whole.begin(), whole.begin() + length), FileError::Truncated});
    }
    // Half a JPEG with its end marker appended, and a restart marker amid the data: libjpeg-turbo
    // alone would fill the rest with grey.
    const Bytes jpeg = Read("golden/baseline420.jpg");
    Bytes half(jpeg.begin(), jpeg.begin() + jpeg.size() / 2);
    half.insert(half.end(), {0xFF, 0xD9});
    cases.push_back({"half a JPEG", half, FileError::Damaged});
    Bytes stray = jpeg;
    stray.insert(stray.end() - 400, {0xFF, 0xD3});
    cases.push_back({"a stray restart marker", stray, FileError::Damaged});

    const Bytes png = Read("golden/rgb8.png");
    Bytes header = png;
    header[23] ^= 0x01;  // the header's height, which its checksum covers
    cases.push_back({"a PNG header's checksum", header, FileError::ChecksumMismatch});
    const std::size_t idat = FirstIdat(png), length = Be32(png, idat);
    Bytes compressed = png;
    compressed[idat + 8 + length / 2] ^= 0x55;
    PutBe32(compressed, idat + 8 + length, PngCrc(compressed.data() + idat + 4, length + 4));
    cases.push_back({"damaged compressed data under a right checksum", compressed, FileError::Damaged});
    Bytes shortData(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(idat + 8 + length / 2 + 4));
    PutBe32(shortData, idat, length / 2);
    PutBe32(shortData, idat + 8 + length / 2, PngCrc(shortData.data() + idat + 4, length / 2 + 4));
    shortData.insert(shortData.end(), png.end() - 12, png.end());  // IEND
    cases.push_back({"too little image data", shortData, FileError::Truncated});

    for (const Case& c : cases) {
        Image image;
        EXPECT_EQ(LoadImageFile(Write("damaged", c.bytes), image), c.reason) << c.name;
        EXPECT_FALSE(image.loaded);
    }
}

TEST_F(Zentile, AHugeClaimIsRefusedFromTheHeaderAlone)
{
    // 69 bytes' worth of claim: 2^31 - 1 x 1 pixels of 16-bit RGBA, a 17 GB row, with a valid
    // checksum so that only the size can refuse it.
    Bytes bomb = Read("samples/rgb8.png");
    PutBe32(bomb, 16, 0x7FFFFFFF);
    PutBe32(bomb, 20, 1);
    bomb[24] = 16;
    bomb[25] = 6;
    PutBe32(bomb, 29, PngCrc(bomb.data() + 12, 17));
    Image image;
    EXPECT_EQ(LoadImageFile(Write("bomb.png", bomb), image), FileError::TooLarge);
}

TEST_F(Zentile, PicturesLoadedOnSeveralThreadsStayApart)
{
    // The module keeps one result block per operation: simultaneous loads must never see each
    // other's block or a freed one.
    constexpr int count = 3;
    std::string names[count];
    Image reference[count];
    for (int i = 0; i < count; ++i) {
        Image picture;
        ASSERT_EQ(LoadImageFile(Write("p.bmp", MakeBmp({.width = 600 + i, .height = 400})), picture), FileError::None);
        names[i] = Path(std::string("p") + std::to_string(i) + ".png");
        ASSERT_EQ(SavePngFile(picture, names[i]), FileError::None);
        ASSERT_EQ(LoadImageFile(names[i], reference[i]), FileError::None);
    }
    int mismatches[count] = {};
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back([&, i] {
            const auto size = static_cast<std::size_t>(40 + 400 * RowStride(600 + i));
            for (int round = 0; round < 15; ++round) {
                Image image;
                if (LoadImageFile(names[i], image) != FileError::None || std::memcmp(image.dib.get(), reference[i].dib.get(), size) != 0)
                    ++mismatches[i];
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(mismatches[0] + mismatches[1] + mismatches[2], 0);
}

TEST_F(Zentile, PngWriteFailureKeepsTheOldFile)
{
    Image image;
    ASSERT_EQ(LoadImageFile(Write("a.bmp", MakeBmp({})), image), FileError::None);
    EXPECT_NE(SavePngFile(image, Path("missing/a.png")), FileError::None);
    const std::string occupied = Path("occupied.png");
    std::filesystem::create_directory(PathFromUtf8(occupied));
    EXPECT_NE(SavePngFile(image, occupied), FileError::None);
    EXPECT_TRUE(std::filesystem::is_directory(PathFromUtf8(occupied)));
    EXPECT_EQ(Entries(), 2);
}

}  // namespace
