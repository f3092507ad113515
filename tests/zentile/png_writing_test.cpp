#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "zentile/codecs.h"
#include "zentile/packed_bitmap.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

// A packed bitmap whose rows mix smooth runs (long matches) with noise (every filter chosen).
std::vector<std::uint8_t> MakeBitmap(std::uint32_t width, std::uint32_t height)
{
    std::vector<std::uint8_t> block;
    EXPECT_TRUE(StartPackedBitmap(width, height, largestPackedBitmap, block));
    std::uint32_t noise = 12345;
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row = PackedRowFromTop(block, y);
        for (std::uint32_t i = 0; i < 3 * width; ++i) {
            noise = noise * 1103515245u + 12345u;
            row[i] = y % 3 == 0 ? static_cast<std::uint8_t>(i + y) : static_cast<std::uint8_t>(noise >> 24);
        }
    }
    return block;
}

// Bands joined into one stream must decode (with libpng) to the very pixels
// written, whatever the number of bands, including more bands than rows and stored rows.
TEST(PngWriting, BandsJoinIntoOneStreamThatDecodesExactly)
{
    for (std::uint32_t width : {1u, 5u, 64u})
        for (std::uint32_t height : {1u, 2u, 9u}) {
            const std::vector<std::uint8_t> bitmap = MakeBitmap(width, height);
            for (int bands : {0, 1, 2, 3, 16})
                for (int level : {0, 6}) {
                    std::vector<std::uint8_t> png, decoded;
                    ASSERT_EQ(EncodePng(bitmap.data(), level, bands, nullptr, 0, png), FileError::None);
                    ASSERT_EQ(DecodePng(png.data(), png.size(), largestPackedBitmap, decoded), FileError::None)
                        << width << "x" << height << " bands " << bands << " level " << level;
                    EXPECT_EQ(decoded, bitmap) << width << "x" << height << " bands " << bands << " level " << level;
                }
        }
}

#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__)
// In a child process whose address space ends a little after the picture, the writer cannot have
// the memory it needs, and says so.
TEST(PngWriting, WantOfMemoryIsToldAsSuch)
{
    const std::vector<std::uint8_t> bitmap = MakeBitmap(3000, 3000);
    const pid_t child = fork();
    if (child == 0) {
        long pages = 0;
        std::FILE* statm = std::fopen("/proc/self/statm", "r");
        if (!statm || std::fscanf(statm, "%ld", &pages) != 1) _exit(2);
        const rlimit limit{static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE) + (8 << 20)), RLIM_INFINITY};
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(2);
        std::vector<std::uint8_t> png;
        _exit(EncodePng(bitmap.data(), 6, 1, nullptr, 0, png) == FileError::OutOfMemory ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif

}  // namespace
