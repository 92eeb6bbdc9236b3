// SPDX-License-Identifier: Apache-2.0
#include "imaging/fit.h"
#include "support/bmp_builder.h"

#include <gtest/gtest.h>

#include <vector>

namespace ombrel {
namespace {

Image greyPicture(int width, int height, const std::vector<int> &levels) {
    Image p(width, height);
    for (std::size_t i = 0; i < levels.size(); ++i)
        p.pixels[i] = levels[i] * 0x010101;
    return p;
}

// Expected levels worked out by hand: shrinking averages the covered area,
// enlarging interpolates between pixel centres, the centre is kept.
struct Case {
    const char *name;
    int width, height;
    std::vector<int> levels;
    int targetWidth, targetHeight;
    std::vector<int> expected;
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

class Fit : public ::testing::TestWithParam<Case> {};

TEST_P(Fit, MatchesLevelsWorkedOutByHand) {
    const Case &c = GetParam();
    const Image out = fitPicture(greyPicture(c.width, c.height, c.levels), c.targetWidth,
                                 c.targetHeight);
    EXPECT_TRUE(out == greyPicture(c.targetWidth, c.targetHeight, c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Small, Fit,
    ::testing::Values(
        // Already tall enough: the centre two columns are cut out.
        Case{"CropOnly", 4, 2, {10, 20, 30, 40, 50, 60, 70, 80}, 2, 2, {20, 30, 60, 70}},
        // Half size: each output pixel is the mean of a 2 x 2 block of the
        // centre rows 1..2.
        Case{"HalveByArea", 4, 4, {0, 0, 0, 0, 8, 4, 100, 200, 0, 4, 50, 50, 255, 255, 255, 255},
             2, 1, {4, 100}},
        // Two thirds: output pixel 0 covers source [0, 1.5), weights 1 and
        // 1/2; levels 30 x + 90 y give 10, 50 across and 30, 150 down.
        Case{"TwoThirdsByArea", 3, 3, {0, 30, 60, 90, 120, 150, 180, 210, 240}, 2, 2,
             {40, 80, 160, 200}},
        // Doubled: centres at -0.25, 0.25, 0.75, 1.25, clamped at the edges.
        Case{"DoubleBilinear", 2, 1, {0, 100}, 4, 2, {0, 25, 75, 100, 0, 25, 75, 100}},
        // The centre falls between two pixels: 1.5 and 2.5 both round to 2.
        Case{"HalfLevelsRoundToEven", 2, 2, {1, 2, 2, 3}, 1, 2, {2, 2}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(FitColour, ChannelsAreResampledApart) {
    Image p(2, 1);
    p.pixels = {rgb(0, 200, 40), rgb(100, 0, 40)};
    const Image out = fitPicture(p, 4, 2);
    const std::vector<ColourWord> row{rgb(0, 200, 40), rgb(25, 150, 40), rgb(75, 50, 40),
                                      rgb(100, 0, 40)};
    EXPECT_EQ(std::vector<ColourWord>(out.pixels.begin(), out.pixels.begin() + 4), row);
    EXPECT_EQ(std::vector<ColourWord>(out.pixels.begin() + 4, out.pixels.end()), row);
}

TEST(FitCover, APictureOfTheRightSizeIsKept) {
    const Image p = test::randomImage(1024, 768, 5);
    EXPECT_TRUE(fitCover(p) == p);
}

TEST(FitCover, AWidePictureLosesItsSidesEvenly) {
    // 2000 x 1000 scales by 0.768 to 1536 x 768; 256 columns go on each
    // side, so the black-white edge at source column 1000 lands at 512.
    Image p(2000, 1000, 0);
    for (int y = 0; y < 1000; ++y)
        for (int x = 1000; x < 2000; ++x)
            p.at(x, y) = rgb(255, 255, 255);
    const Image out = fitCover(p);
    ASSERT_EQ(out.width, 1024);
    ASSERT_EQ(out.height, 768);
    for (int y : {0, 400, 767}) {
        EXPECT_EQ(out.at(0, y), 0);
        EXPECT_EQ(out.at(511, y), 0);
        EXPECT_EQ(out.at(512, y), rgb(255, 255, 255));
        EXPECT_EQ(out.at(1023, y), rgb(255, 255, 255));
    }
}

TEST(FitWatermark, ColoursBecomeTheirLuma) {
    struct Row {
        ColourWord colour;
        int luma;
    };
    // 0.299 * 255 = 76.245, 0.587 * 255 = 149.685, 0.114 * 255 = 29.07.
    for (const Row r : {Row{rgb(255, 0, 0), 76}, Row{rgb(0, 255, 0), 150}, Row{rgb(0, 0, 255), 29},
                        Row{rgb(255, 255, 255), 255}, Row{rgb(10, 20, 30), 18}}) {
        const Image out = fitWatermark(Image(800, 600, r.colour));
        ASSERT_EQ(out.width, 512);
        ASSERT_EQ(out.height, 512);
        EXPECT_TRUE(out == Image(512, 512, r.luma * 0x010101)) << r.colour;
    }
}

TEST(Fit, NothingToFitGivesNothing) {
    EXPECT_TRUE(fitCover(Image()).empty());
    EXPECT_TRUE(fitPicture(Image(3, 3), 0, 5).empty());
}

} // namespace
} // namespace ombrel
