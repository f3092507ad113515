// A run on a picture whose planes have taken nearly all the memory a 32-bit program can address.
// The program's allocations go through the replacements below; while a test sets memoryShort, the
// calling thread's requests for a megabyte or more fail, as they would then.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "engine/denoise.h"
#include "imagefile/image.h"

namespace {

thread_local bool memoryShort = false;

bool Refused(std::size_t bytes)
{
    return memoryShort && bytes >= (std::size_t{1} << 20);
}

void* Allocate(std::size_t bytes)
{
    return std::malloc(bytes == 0 ? 1 : bytes);
}

}  // namespace

void* operator new(std::size_t bytes)
{
    void* block = Refused(bytes) ? nullptr : Allocate(bytes);
    if (!block) throw std::bad_alloc();
    return block;
}
void* operator new[](std::size_t bytes)
{
    return operator new(bytes);
}
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept
{
    return Refused(bytes) ? nullptr : Allocate(bytes);
}
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept
{
    return Refused(bytes) ? nullptr : Allocate(bytes);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

TEST(ShortOfMemory, ARunStillEndsWithTheSamePixelsAndFigures)
{
    // 300 x 200 pixels: the measurement at the end of the run would hold over a megabyte of terms.
    Image image;
    ASSERT_TRUE(AllocateImage(300, 200, image));
    std::uint32_t state = 4242;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 900; ++x) {
            state = state * 1664525u + 1013904223u;
            image.rows[y][x] = static_cast<std::uint8_t>((x / 4 + y) % 200 + (state >> 28));
        }
    }
    const std::size_t bytes = static_cast<std::size_t>(RowStride(300)) * 200;
    const DenoiseSettings settings;
    const DenoiseOutcome outcome = DenoiseImage(settings, {}, image.header, image.bits, image.rows.get());
    ASSERT_TRUE(outcome.done);
    const QualityFigures* figures = &outcome.figures;
    const std::vector<std::uint8_t> expected(image.bits, image.bits + bytes);
    ASSERT_GT(figures->lumaSnr, 0.0f);

    std::memset(image.bits, 0, bytes);
    std::optional<QualityFigures> shortFigures;
    memoryShort = true;
    try {
        const DenoiseOutcome shortOutcome = DenoiseImage(settings, {}, image.header, image.bits, image.rows.get());
        if (shortOutcome.done) shortFigures = shortOutcome.figures;
    } catch (const std::bad_alloc&) {
        ADD_FAILURE() << "the run threw for want of memory after writing the picture";
    }
    memoryShort = false;
    ASSERT_TRUE(shortFigures);
    EXPECT_EQ(std::vector<std::uint8_t>(image.bits, image.bits + bytes), expected);
    EXPECT_EQ(shortFigures->lumaSnr, figures->lumaSnr);
    EXPECT_EQ(shortFigures->chromaSnr, figures->chromaSnr);
    ReleaseImage(image);
}
