#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "colour/view_transform.h"
#include "imagefile/image.h"

namespace {

using Rgb = std::array<int, 3>;

// A picture one row high holding the given colours as its source pixels and working pixels.
struct Strip {
    Image image;

    explicit Strip(const std::vector<Rgb>& colours)
    {
        EXPECT_TRUE(AllocateImage(static_cast<std::int32_t>(colours.size()), 1, image));
        for (std::size_t k = 0; k < colours.size(); ++k) {
            image.bits[3 * k + 2] = static_cast<std::uint8_t>(colours[k][0]);
            image.bits[3 * k + 1] = static_cast<std::uint8_t>(colours[k][1]);
            image.bits[3 * k] = static_cast<std::uint8_t>(colours[k][2]);
        }
        FillSourceRows(image);
    }
    ~Strip() { ReleaseImage(image); }

    void Apply(std::int8_t mode) { EXPECT_TRUE(ApplyViewTransform(mode, {}, image.header, image.bits, image.rows.get())); }

    Rgb Shown(int k) const { return {image.bits[3 * k + 2], image.bits[3 * k + 1], image.bits[3 * k]}; }
};

Rgb View(std::int8_t mode, Rgb colour)
{
    Strip strip({colour});
    strip.Apply(mode);
    return strip.Shown(0);
}

const Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kYellow{255, 255, 0}, kWhite{255, 255, 255},
    kBlack{0, 0, 0}, kGrey{128, 128, 128};

}  // namespace

TEST(HueView, ShowsHueAtFullStrengthAndGreysAsBlack)
{
    EXPECT_EQ(View(kViewHue, kRed), kRed);
    EXPECT_EQ(View(kViewHue, kYellow), (Rgb{255, 250, 0}));  // hue 59 degrees
    EXPECT_EQ(View(kViewHue, (Rgb{100, 50, 50})), kRed);
    EXPECT_EQ(View(kViewHue, kGrey), kBlack);
    EXPECT_EQ(View(kViewHue, kWhite), kBlack);
    EXPECT_EQ(View(kViewHue, kBlack), kBlack);
}

TEST(SaturationView, MapsSaturationToAGreyBetween63And191)
{
    EXPECT_EQ(View(kViewSaturation, kGrey), (Rgb{63, 63, 63}));
    EXPECT_EQ(View(kViewSaturation, kBlack), (Rgb{63, 63, 63}));
    EXPECT_EQ(View(kViewSaturation, kRed), (Rgb{191, 191, 191}));
}

TEST(LumaChromaViews, MatchTheirKnownColours)
{
    EXPECT_EQ(View(kViewLuma, kWhite), kWhite);
    EXPECT_EQ(View(kViewLuma, kRed), (Rgb{76, 76, 76}));
    EXPECT_EQ(View(kViewLuma, kBlue), (Rgb{29, 29, 29}));
    EXPECT_EQ(View(kViewBlueDifference, kGrey), (Rgb{127, 127, 127}));  // 0.5 x 255 truncated
    EXPECT_EQ(View(kViewBlueDifference, kBlue), (Rgb{127, 83, 255}));
    EXPECT_EQ(View(kViewRedDifference, kRed), (Rgb{255, 36, 127}));
    EXPECT_EQ(View(kViewInPhase, kGrey), (Rgb{127, 127, 128}));
    EXPECT_EQ(View(kViewInPhase, kRed), (Rgb{255, 85, 0}));
    // Greys have a slightly negative Q: the forward Q row does not sum to 0.
    const Rgb q = View(kViewQuadrature, kWhite);
    EXPECT_LE(q[0], 127);
    EXPECT_GE(q[0], 124);
}

TEST(LabViews, ShowOneAxisAroundNeutral)
{
    EXPECT_EQ(View(kViewLightness, kWhite), (Rgb{254, 255, 254}));  // tone mode 0
    EXPECT_EQ(View(kViewRedGreen, kGrey), (Rgb{118, 118, 118}));
    EXPECT_EQ(View(kViewYellowBlue, kGrey), (Rgb{118, 118, 118}));
    EXPECT_EQ(View(kViewLightness, kBlack), kBlack);
    const Rgb redGreen = View(kViewRedGreen, kRed);  // a* only: reddish, no yellow-blue cast
    EXPECT_GT(redGreen[0], redGreen[1]);
    const Rgb yellowBlue = View(kViewYellowBlue, kBlue);
    EXPECT_GT(yellowBlue[2], yellowBlue[0]);
}

TEST(NegativeAndSourceViews, AlwaysStartFromTheLoadedPixels)
{
    Strip strip({{10, 200, 255}, {0, 0, 0}});
    strip.Apply(kViewNegative);
    EXPECT_EQ(strip.Shown(0), (Rgb{245, 55, 0}));
    strip.Apply(kViewNegative);  // twice: still the negative, not the picture back
    EXPECT_EQ(strip.Shown(0), (Rgb{245, 55, 0}));
    EXPECT_EQ(strip.Shown(1), kWhite);
    strip.Apply(kViewSource);
    EXPECT_EQ(strip.Shown(0), (Rgb{10, 200, 255}));
}

TEST(ChannelViews, DoNotStack)
{
    // Y then U shows the blue difference of the picture, not of its luma view.
    Strip strip({kBlue});
    strip.Apply(kViewLuma);
    strip.Apply(kViewBlueDifference);
    EXPECT_EQ(strip.Shown(0), (Rgb{127, 83, 255}));
}

TEST(DifferenceView, ComparesTheSourceWithWhatIsShown)
{
    Strip strip({{0, 100, 255}, {128, 127, 200}});
    strip.Apply(kViewSource);
    strip.Apply(kViewDifference);
    EXPECT_EQ(strip.Shown(0), kBlack);
    EXPECT_EQ(strip.Shown(1), kBlack);

    strip.Apply(kViewNegative);
    strip.Apply(kViewDifference);  // |2s - 255| per sample
    EXPECT_EQ(strip.Shown(0), (Rgb{255, 55, 255}));
    EXPECT_EQ(strip.Shown(1), (Rgb{1, 1, 145}));

    // After a change made elsewhere (as a noise-reduction run does), D shows that change.
    strip.Apply(kViewSource);
    strip.image.bits[3 + 2] = 120;
    strip.Apply(kViewDifference);
    EXPECT_EQ(strip.Shown(1), (Rgb{8, 0, 0}));
}

TEST(ViewTransform, WritesEveryRowAndLeavesThePaddingAlone)
{
    // 1 and 3 pixels wide: 1 and 3 padding bytes per working row.
    for (int width : {1, 3, 4, 5}) {
        Image image;
        ASSERT_TRUE(AllocateImage(width, 3, image));
        const std::int64_t stride = RowStride(width);
        for (std::int64_t i = 0; i < stride * 3; ++i) image.bits[i] = static_cast<std::uint8_t>(i * 7);
        FillSourceRows(image);
        std::vector<std::uint8_t> before(image.bits, image.bits + stride * 3);
        ASSERT_TRUE(ApplyViewTransform(kViewNegative, {}, image.header, image.bits, image.rows.get()));
        for (std::int64_t y = 0; y < 3; ++y) {
            for (std::int64_t x = 0; x < stride; ++x) {
                const std::int64_t i = y * stride + x;
                const int expected = x < 3 * width ? 255 - before[i] : before[i];
                EXPECT_EQ(image.bits[i], expected) << "width " << width << " byte " << i;
            }
        }
        ReleaseImage(image);
    }
}

TEST(ViewTransform, ModeThatIsNoViewLeavesThePictureAlone)
{
    for (std::int8_t mode : {std::int8_t{2}, std::int8_t{14}, std::int8_t{-1}}) {
        Strip strip({{1, 2, 3}});
        strip.image.bits[0] = 77;
        strip.Apply(mode);
        EXPECT_EQ(strip.Shown(0), (Rgb{1, 2, 77}));
    }
}
