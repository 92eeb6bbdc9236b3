// SPDX-License-Identifier: Apache-2.0
#include "cli/tampers.h"

#include "support/bmp_builder.h"

#include "imaging/sample_images.h"
#include "stego/embedding.h"
#include "stego/verify.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace ombrel {
namespace {

constexpr int kBlocksAcross = 128, kBlocksDown = 96;

long long changedPixels(const Image &a, const Image &b) {
    long long n = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i)
        n += a.pixels[i] != b.pixels[i];
    return n;
}

TEST(Tampers, ChangedBlocksAreTheBlocksOfTheChangedPixels) {
    const Image before = test::randomImage(1024, 768, 31);
    Image after = before;
    after.at(9, 17) ^= 1;       // block (1, 2)
    after.at(1023, 767) ^= 0x100; // the last block
    const auto changed = cli::changedBlocks(before, after);
    ASSERT_EQ(changed.size(), std::size_t{kBlocksAcross * kBlocksDown});
    EXPECT_EQ(std::count(changed.begin(), changed.end(), 1), 2);
    EXPECT_EQ(changed[2 * kBlocksAcross + 1], 1);
    EXPECT_EQ(changed.back(), 1);
}

// Each tamper replaces about a tenth of the picture, at its fixed place, and
// does it the same way every time.
TEST(Tampers, EachChangesATenthAtItsPlace) {
    const Image cover = test::randomImage(1024, 768, 32);
    const Image donor = test::randomImage(1024, 768, 33);
    struct Row {
        const char *name;
        Image (*apply)(const Image &);
        double least, most; // share of the pixels changed
    };
    const Row rows[] = {
        {"fill-zero", cli::fillZero, 0.099, 0.101},
        {"fill-random", cli::fillRandom, 0.099, 0.101},
        {"copy-move", cli::copyMove, 0.099, 0.101},
        {"text", cli::drawnText, 0.01, 0.10},
    };
    for (const Row &r : rows) {
        const Image out = r.apply(cover);
        const double share = static_cast<double>(changedPixels(cover, out)) / (1024.0 * 768.0);
        EXPECT_GE(share, r.least) << r.name;
        EXPECT_LE(share, r.most) << r.name;
        EXPECT_TRUE(out == r.apply(cover)) << r.name << " is deterministic";
    }
    const Image black = cli::fillZero(cover);
    EXPECT_EQ(black.at(600, 300), 0);
    EXPECT_EQ(black.at(919, 545), 0);
    EXPECT_EQ(black.at(599, 300), cover.at(599, 300));
    EXPECT_EQ(black.at(920, 545), cover.at(920, 545));
    EXPECT_EQ(black.at(600, 546), cover.at(600, 546));
    const Image moved = cli::copyMove(cover);
    EXPECT_EQ(moved.at(600, 300), cover.at(100, 450));
    EXPECT_EQ(moved.at(919, 545), cover.at(419, 695));
    const Image pasted = cli::collage(cover, donor);
    EXPECT_EQ(pasted.at(700, 400), donor.at(700, 400));
    EXPECT_EQ(pasted.at(10, 10), cover.at(10, 10));
}

// Scores counted by hand on a made-up report: four carrying blocks, of which
// two changed; the check flags one of those and one that did not change.
TEST(Tampers, ScoresCountOnlyTheBlocksThatCarryBits) {
    MarkReport report;
    report.width = 32;
    report.height = 8; // four blocks in a row
    report.pixels.assign(32 * 8, MarkReport::Agrees);
    report.altered = {1, 0, 1, 0};
    report.bitsDiffering = 2;
    std::vector<std::uint8_t> changed = {1, 1, 0, 0};
    cli::TamperScore s = cli::scoreTamper(changed, report);
    ASSERT_TRUE(s.precision && s.recall);
    EXPECT_DOUBLE_EQ(*s.precision, 0.5);
    EXPECT_DOUBLE_EQ(*s.recall, 0.5);
    EXPECT_FALSE(s.intact);

    // A block carrying nothing counts for neither.
    for (int y = 0; y < 8; ++y)
        std::fill_n(report.pixels.begin() + y * 32 + 8, 8, MarkReport::Unchecked);
    s = cli::scoreTamper(changed, report);
    EXPECT_DOUBLE_EQ(*s.recall, 1.0);
    EXPECT_DOUBLE_EQ(*s.precision, 0.5);

    // Nothing flagged: no precision; nothing changed: no recall.
    report.altered = {0, 0, 0, 0};
    report.bitsDiffering = 0;
    s = cli::scoreTamper({0, 0, 0, 0}, report);
    EXPECT_FALSE(s.precision);
    EXPECT_FALSE(s.recall);
    EXPECT_TRUE(s.intact);
}

// On a marked sample, random pixels are seen in every block they change, and
// a black fill mostly not: the keyless mark's bits are mostly 0 already.
TEST(Tampers, TheKeylessMarkSeesRandomPixelsButLittleOfABlackFill) {
    const Surface watermark = surfaceOf(sampleWatermark());
    const Image marked = embed(surfaceOf(sampleCover()), watermark, 0).watermarked.image();
    const MarkBits bits(watermark, 0);
    const Image random = cli::fillRandom(marked);
    const cli::TamperScore r = cli::scoreTamper(cli::changedBlocks(marked, random), verifyMark(random, bits));
    EXPECT_DOUBLE_EQ(*r.precision, 1.0);
    EXPECT_DOUBLE_EQ(*r.recall, 1.0);
    const Image black = cli::fillZero(marked);
    const cli::TamperScore b = cli::scoreTamper(cli::changedBlocks(marked, black), verifyMark(black, bits));
    EXPECT_DOUBLE_EQ(*b.precision, 1.0);
    EXPECT_LT(*b.recall, 0.5);
}

} // namespace
} // namespace ombrel
