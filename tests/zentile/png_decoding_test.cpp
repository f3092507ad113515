// The PNG decoder on files that lie about their chunks.
#include <gtest/gtest.h>

#include <vector>

#include "tests/zentile/png_crc.h"
#include "zentile/codecs.h"
#include "zentile/packed_bitmap.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

void PutBe32(Bytes& to, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) to.push_back(static_cast<std::uint8_t>(value >> (24 - 8 * i)));
}

// 94 bytes: the header of a 40 x 24 RGB picture, then a chunk that claims 2^31 - 1 bytes and the
// file ends after a few of them.
Bytes LyingPng(const char type[4])
{
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    PutBe32(png, 40);
    PutBe32(png, 24);
    png.insert(png.end(), {8, 2, 0, 0, 0});
    PutBe32(png, PngCrc(png.data() + 12, 17));
    PutBe32(png, 0x7FFFFFFF);
    png.insert(png.end(), type, type + 4);
    png.resize(94, 'x');
    return png;
}

TEST(PngDecoding, AChunkClaimingGigabytesIsTruncationAndCostsNoMemory)
{
#ifndef _WIN32
    // The peak memory of a child process that decodes it, beside that of the test before it.
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const long before = usage.ru_maxrss;
    const pid_t child = fork();
    if (child == 0) {
        const Bytes png = LyingPng("tEXt");
        Bytes block;
        DecodePng(png.data(), png.size(), largestPackedBitmap, block);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(wait4(child, &status, 0, &usage), child);
    EXPECT_LT(usage.ru_maxrss - before, 256 * 1024) << "KiB";
#endif
    for (const char* type : {"tEXt", "zTXt", "iTXt", "sPLT", "pCAL", "iCCP", "quIt"}) {
        const Bytes png = LyingPng(type);
        Bytes block;
        EXPECT_EQ(DecodePng(png.data(), png.size(), largestPackedBitmap, block), FileError::Truncated) << type;
    }
}

}  // namespace
