#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <vector>

#include "engine/classic/coefficient_support.h"
#include "engine/classic/wavelet.h"

// The support is exact for the transform as computed: outside it every coefficient of a signal
// zero outside [first, last) is +0, and inside it a random signal gives no zero. Spans that wrap
// around the end, touch it, or fill the whole length included.
TEST(CoefficientSupport, MatchesTheZerosOfTheTransform)
{
    std::mt19937 random(5);
    std::uniform_real_distribution<double> value(0.5, 1.5);
    struct Case {
        std::int32_t size, first, last;
    };
    for (const Case c : {Case{256, 40, 200}, Case{256, 0, 30}, Case{256, 230, 256}, Case{64, 0, 64}, Case{8, 3, 4},
                         Case{1024, 500, 501}}) {
        const int levels = LevelCount(c.size);
        const std::vector<std::uint8_t> support = SupportAfterLevels(c.size, levels, c.first, c.last);
        std::vector<double> row(static_cast<std::size_t>(c.size), 0.0);
        for (std::int32_t x = c.first; x < c.last; ++x) row[static_cast<std::size_t>(x)] = value(random);
        for (int level = 0; level < levels; ++level) ASSERT_TRUE(WaveletStep(c.size >> level, row.data()));
        for (std::int32_t x = 0; x < c.size; ++x) {
            const double coefficient = row[static_cast<std::size_t>(x)];
            if (support[static_cast<std::size_t>(x)])
                EXPECT_NE(coefficient, 0.0) << c.size << " " << c.first << " " << x;
            else
                EXPECT_EQ(std::bit_cast<std::uint64_t>(coefficient), 0u) << c.size << " " << c.first << " " << x;
        }
    }
}

TEST(CoefficientSupport, PictureSpansAreTheColumnsInOrder)
{
    const CoefficientSupport support = SupportOfPicture(2048, 3, 224, 1600, 424, 1200);
    EXPECT_EQ(support.rows, SupportAfterLevels(2048, 3, 224, 1824));
    const std::vector<std::uint8_t> columns = SupportAfterLevels(2048, 3, 424, 1624);
    std::vector<std::uint8_t> fromSpans(2048, 0);
    std::int32_t previous = -1;
    for (const RowSpan span : support.columns) {
        EXPECT_GT(span.first, previous);
        for (std::int32_t j = span.first; j < span.last; ++j) fromSpans[static_cast<std::size_t>(j)] = 1;
        previous = span.last;
    }
    EXPECT_EQ(fromSpans, columns);
}
