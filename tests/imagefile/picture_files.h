#pragma once
// Test helpers: a scratch folder per test and BMP files built byte by byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "imagefile/image.h"
#include "support/file_error.h"
#include "support/replace_file.h"

using Bytes = std::vector<std::uint8_t>;

// Failures name the reason in words.
inline void PrintTo(FileError error, std::ostream* out) { *out << FileErrorText(error); }

struct BmpShape {
    std::int32_t width = 3;
    std::int32_t height = 2;  // negative: top-down
    std::uint32_t infoSize = 40;
    std::uint16_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t gap = 0;  // bytes between the headers and the pixels
};

inline void PutLe(Bytes& to, std::size_t at, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) to[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Pixel byte i of storage row y (bottom-up order) as the tests expect it after loading.
inline std::uint8_t PixelByte(std::int32_t y, std::int64_t i)
{
    return static_cast<std::uint8_t>(y * 31 + i * 7 + 1);
}

// A BMP whose bottom picture row holds PixelByte(0, ...), padding bytes 0xEE. Impossible sizes are
// written into the header over one pixel.
inline Bytes MakeBmp(const BmpShape& shape)
{
    const std::int32_t width = shape.width > 0 ? shape.width : 1;
    const std::int32_t rows = shape.height == 0 || shape.height == INT32_MIN ? 1 : std::abs(shape.height);
    const std::int64_t stride = RowStride(width);
    const std::size_t offset = 14 + shape.infoSize + shape.gap;
    Bytes file(offset + stride * rows, 0);
    file[0] = 'B';
    file[1] = 'M';
    PutLe(file, 2, file.size(), 4);
    PutLe(file, 10, offset, 4);
    PutLe(file, 14, shape.infoSize, 4);
    PutLe(file, 18, static_cast<std::uint32_t>(shape.width), 4);
    PutLe(file, 22, static_cast<std::uint32_t>(shape.height), 4);
    PutLe(file, 26, 1, 2);
    PutLe(file, 28, shape.bitCount, 2);
    PutLe(file, 30, shape.compression, 4);
    PutLe(file, 38, 2835, 4);  // a resolution, carried through unchanged
    for (std::int32_t y = 0; y < rows; ++y) {
        const std::int32_t fileRow = shape.height < 0 ? rows - 1 - y : y;
        for (std::int64_t i = 0; i < stride; ++i)
            file[offset + fileRow * stride + i] = i < width * 3 ? PixelByte(y, i) : 0xEE;
    }
    return file;
}

struct ScratchFolder : ::testing::Test {
    std::filesystem::path folder;
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        // Unique per run: several worktrees may run these tests at once.
        folder = std::filesystem::temp_directory_path() /
                 (std::string("qv-") + info->test_suite_name() + "-" + info->name() + "-" + std::to_string(std::random_device{}()));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::string Path(const std::string& name) const
    {
        const std::u8string utf8 = (folder / PathFromUtf8(name)).u8string();
        return std::string(utf8.begin(), utf8.end());
    }
    std::string Write(const std::string& name, const Bytes& bytes) const
    {
        const std::string path = Path(name);
        std::ofstream(PathFromUtf8(path), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return path;
    }
    static Bytes Read(const std::string& path)
    {
        std::ifstream in(PathFromUtf8(path), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    int Entries() const { return static_cast<int>(std::distance(std::filesystem::directory_iterator(folder), {})); }
};
