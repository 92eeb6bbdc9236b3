// SPDX-License-Identifier: Apache-2.0
#include "imaging/quality.h"

#include <gtest/gtest.h>

#include <cmath>

namespace ombrel {
namespace {

Image greyRow(std::initializer_list<int> values) {
    Image image(static_cast<int>(values.size()), 1);
    int x = 0;
    for (int v : values)
        image.at(x++, 0) = rgb(v, v, v);
    return image;
}

// Worked by hand: MSE = (2^2 + 0) / 2 = 2, PSNR = 10 log10(65025 / 2),
// NC = (10*12 + 20*20) / sqrt((100 + 400) (144 + 400)) = 520 / sqrt(272000).
TEST(Quality, FiguresOfTwoPixels) {
    const auto q = compareImages(greyRow({10, 20}), greyRow({12, 20}));
    ASSERT_TRUE(q);
    EXPECT_NEAR(q->mse, 2.0, 1e-9);
    EXPECT_NEAR(q->psnr, 45.120503652, 1e-6);
    EXPECT_NEAR(q->nc, 0.997054486, 1e-6);
}

TEST(Quality, IdenticalImagesHaveInfinitePsnr) {
    const auto q = compareImages(greyRow({0, 90, 255}), greyRow({0, 90, 255}));
    ASSERT_TRUE(q);
    EXPECT_TRUE(std::isinf(q->psnr));
    EXPECT_EQ(q->mse, 0.0);
    EXPECT_NEAR(q->nc, 1.0, 1e-12);
}

TEST(Quality, SizesMustMatchInBothDirections) {
    struct Row {
        int w1, h1, w2, h2;
    };
    for (const Row r : {Row{4, 4, 4, 5}, Row{4, 4, 5, 4}, Row{12, 11, 12, 12}, Row{11, 12, 12, 12}}) {
        const Image a(r.w1, r.h1, 0), b(r.w2, r.h2, 0);
        const auto q = compareImages(a, b);
        ASSERT_FALSE(q) << r.w1 << "x" << r.h1 << " vs " << r.w2 << "x" << r.h2;
        EXPECT_EQ(q.error(), QualityProblem::SizesDiffer);
        const auto s = structuralSimilarity(a, b);
        ASSERT_FALSE(s) << r.w1 << "x" << r.h1;
        EXPECT_EQ(s.error(), QualityProblem::SizesDiffer);
    }
    const auto narrow = structuralSimilarity(Image(10, 20, 0), Image(10, 20, 0));
    ASSERT_FALSE(narrow) << "narrower than a window";
    EXPECT_EQ(narrow.error(), QualityProblem::TooSmall);
    EXPECT_EQ(compareImages(Image(0, 0, 0), Image(0, 0, 0)).error(), QualityProblem::Empty);
}

TEST(Quality, ProblemsAreSaidWithTheSizesAndNames) {
    EXPECT_EQ(qualityProblemText(QualityProblem::SizesDiffer, {512, 512}, {512, 256}),
              "the images differ in size: 512x512 and 512x256");
    EXPECT_EQ(qualityProblemText(QualityProblem::SizesDiffer, {1024, 768, "a.bmp"}, {512, 512, "b.png"}),
              "the images differ in size: a.bmp is 1024x768, b.png is 512x512");
    EXPECT_EQ(qualityProblemText(QualityProblem::TooSmall, {10, 20}, {10, 20}),
              "SSIM needs pictures of at least 11x11 pixels, not 10x20");
}

// Reference figures from a direct evaluation (every window summed on its own,
// variances from deviations) written independently of this code.
Image pattern(int w, int h, bool second) {
    Image image(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.at(x, y) = second ? rgb((x * 37 + y * 11 + (x + 2 * y) % 9) % 256,
                                          (x * 5 + y * 23) % 256, (x * y + 50) % 256)
                                    : rgb((x * 37 + y * 11) % 256, (x * 5 + y * 23) % 256,
                                          (x * y) % 256);
    return image;
}

TEST(Quality, StructuralSimilarityAgainstReferenceFigures) {
    const Image a = pattern(14, 12, false), b = pattern(14, 12, true);
    EXPECT_NEAR(*structuralSimilarity(a, b), 0.844888618787, 1e-9);
    EXPECT_NEAR(*structuralSimilarity(b, a), 0.844888618787, 1e-9);
    EXPECT_NEAR(*structuralSimilarity(a, a), 1.0, 1e-12);
    // Flat images: only the luminance term remains,
    // (2*100*110 + C1) / (100^2 + 110^2 + C1) with C1 = 2.55^2.
    EXPECT_NEAR(*structuralSimilarity(Image(11, 11, rgb(100, 100, 100)),
                                      Image(11, 11, rgb(110, 110, 110))),
                0.995476444092, 1e-9);
}

} // namespace
} // namespace ombrel
