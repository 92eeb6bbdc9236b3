// SPDX-License-Identifier: Apache-2.0
#include "stego/embedding.h"
#include "stego/verify.h"
#include "support/block_sets.h"
#include "support/bmp_builder.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>

namespace ombrel {
namespace {

// A grey watermark whose 4 x 4 means (the approximation) are all 40 or more.
Image brightWatermark(unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> level(40, 255);
    Image image(512, 512);
    for (ColourWord &p : image.pixels) {
        const int v = level(gen);
        p = rgb(v, v, v);
    }
    return image;
}

class Verify : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        cover = new Image(test::randomImage(1024, 768, 5));
        watermark = new Image(brightWatermark(7));
        mark = new MarkBits(surfaceOf(*watermark), 0);
        marked = new Image(embed(surfaceOf(*cover), surfaceOf(*watermark), 0).watermarked.image());
    }
    static void TearDownTestSuite() {
        delete cover;
        delete watermark;
        delete mark;
        delete marked;
    }
    static Image *cover, *watermark, *marked;
    static MarkBits *mark;
};
Image *Verify::cover, *Verify::watermark, *Verify::marked;
MarkBits *Verify::mark;

// Counted by hand from the layout: 128 rows of 43 groups of four pixels with
// 6 bits each; 512 rows of 384 pixels with 3 bits; 128 rows of 384 pixels with
// 3 bits less row 768 and column 1024 (63 even rows), which lie outside.
TEST_F(Verify, ComparesEveryWrittenBitAndNothingElse) {
    EXPECT_EQ(mark->bitCount(), 128LL * 43 * 4 * 6 + 512LL * 384 * 3 + (127LL * 384 - 63) * 3);
    const MarkReport r = verifyMark(*marked, *mark);
    EXPECT_EQ(r.bitsCompared, 868035);
    EXPECT_TRUE(r.intact());
    EXPECT_EQ(r.bitsDiffering, 0);
    EXPECT_EQ(r.blocksAltered, 0);
    EXPECT_FALSE(r.alteredBox);
    EXPECT_EQ(std::count(r.pixels.begin(), r.pixels.end(), MarkReport::Agrees), 267329);
    // Rows 0..127 carry bits from column 101 to 958: block columns 12..119 of
    // 16 block rows; from row 129 on every block of the 80 block rows does.
    EXPECT_EQ(r.blocksChecked, 108 * 16 + 128 * 80);
    // The first group of an odd row starts at column 101; nothing before it.
    EXPECT_EQ(r.pixels[1 * 1024 + 100], MarkReport::Unchecked);
    EXPECT_EQ(r.pixels[1 * 1024 + 101], MarkReport::Agrees);
    EXPECT_EQ(r.pixels[0], MarkReport::Unchecked);
}

// Every carried bit counts once, in every channel; the bits above them do not.
TEST_F(Verify, EachCarriedBitCountsOnce) {
    struct Row {
        const char *name;
        int x, y;
        ColourWord flip;
        long long differing;
    };
    const Row rows[] = {
        {"detail red", 400, 300, 0x000001, 1},    {"detail green", 400, 300, 0x000100, 1},
        {"detail blue", 400, 300, 0x010000, 1},   {"detail all", 400, 300, 0x010101, 3},
        {"detail bit 1", 400, 300, 0x020202, 0},  {"approximation red", 101, 1, 0x000002, 1},
        {"approximation blue", 101, 1, 0x030000, 2}, {"approximation bit 2", 101, 1, 0x040404, 0},
        {"no bit here", 401, 300, 0x010101, 0},
    };
    for (const Row &row : rows) {
        Image tampered = *marked;
        tampered.at(row.x, row.y) ^= row.flip;
        const MarkReport r = verifyMark(tampered, *mark);
        EXPECT_EQ(r.bitsDiffering, row.differing) << row.name;
        EXPECT_EQ(r.pixelsDiffering, row.differing ? 1 : 0) << row.name;
    }
}

TEST_F(Verify, TheCoverItselfIsAltered) {
    const MarkReport r = verifyMark(*cover, *mark);
    EXPECT_FALSE(r.intact());
    EXPECT_GT(r.differingShare(), 0.3);
}

// A rectangle of fresh random pixels: the altered blocks are exactly those
// that reach into it (a checked block holds too many bits to match by chance).
TEST_F(Verify, PastedRectangleIsLocated) {
    struct Rect {
        const char *region;
        int left, top, width, height;
    };
    const Rect rects[] = {{"approximation rows", 90, 10, 100, 60},
                          {"right rows", 301, 203, 219, 130},
                          {"lower rows", 600, 650, 150, 100},
                          {"corner", 1000, 700, 24, 68}};
    std::mt19937 gen(11);
    std::uniform_int_distribution<int> byte(0, 0xFFFFFF);
    for (const Rect &rect : rects) {
        Image tampered = *marked;
        for (int y = rect.top; y < rect.top + rect.height; ++y)
            for (int x = rect.left; x < rect.left + rect.width; ++x)
                tampered.at(x, y) = byte(gen);
        const MarkReport r = verifyMark(tampered, *mark);
        EXPECT_FALSE(r.intact()) << rect.region;
        EXPECT_GT(r.blocksAltered, 0) << rect.region;
        for (int by = 0; by < 96; ++by)
            for (int bx = 0; bx < 128; ++bx) {
                const int x0 = bx * 8, y0 = by * 8;
                const bool touches = x0 < rect.left + rect.width && x0 + 8 > rect.left &&
                                     y0 < rect.top + rect.height && y0 + 8 > rect.top;
                const bool inside = x0 >= rect.left && x0 + 8 <= rect.left + rect.width &&
                                    y0 >= rect.top && y0 + 8 <= rect.top + rect.height;
                bool checked = false;
                for (int y = y0; y < y0 + 8; ++y)
                    for (int x = x0; x < x0 + 8; ++x)
                        checked |= mark->mask()[y * 1024 + x] != 0;
                if (r.blockAltered(bx, by)) {
                    EXPECT_TRUE(touches) << rect.region << " block " << bx << "," << by;
                }
                if (inside && checked) {
                    EXPECT_TRUE(r.blockAltered(bx, by)) << rect.region << " block " << bx << "," << by;
                }
            }
        ASSERT_TRUE(r.alteredBox);
        EXPECT_GE(r.alteredBox->left, rect.left / 8 * 8) << rect.region;
        EXPECT_GE(r.alteredBox->top, rect.top / 8 * 8) << rect.region;
        EXPECT_LE(r.alteredBox->right, (rect.left + rect.width + 7) / 8 * 8 - 1) << rect.region;
        EXPECT_LE(r.alteredBox->bottom, (rect.top + rect.height + 7) / 8 * 8 - 1) << rect.region;
    }
}

TEST_F(Verify, WrongWatermarkOrThresholdIsAltered) {
    struct Row {
        const char *name;
        const Image *watermark;
        int threshold;
        bool intact;
    };
    const Image other = brightWatermark(8);
    const Row rows[] = {
        {"other watermark", &other, 0, false},
        {"threshold 40", watermark, 40, false},
        {"threshold -200", watermark, -200, false},
        // Between -15 and 16 only coefficients that quantise to 0 anyway move.
        {"threshold 16", watermark, 16, true},
        {"threshold -15", watermark, -15, true},
        {"threshold 0", watermark, 0, true},
    };
    for (const Row &row : rows) {
        const MarkReport r = verifyMark(*marked, MarkBits(surfaceOf(*row.watermark), row.threshold));
        EXPECT_EQ(r.intact(), row.intact) << row.name;
        EXPECT_LT(r.differingShare(), 0.4) << row.name;
    }
}

TEST_F(Verify, TamperMapMarksBlocksAndUncheckedPixels) {
    Image tampered = *marked;
    tampered.at(400, 300) ^= 0x010101; // carries bits of coefficient (201, 172)
    const MarkReport r = verifyMark(tampered, *mark);
    EXPECT_EQ(r.pixelsDiffering, 1);
    EXPECT_EQ(r.blocksAltered, 1);
    ASSERT_TRUE(r.alteredBox);
    EXPECT_EQ(r.alteredBox->left, 400);
    EXPECT_EQ(r.alteredBox->top, 296);
    EXPECT_EQ(r.alteredBox->right, 407);
    EXPECT_EQ(r.alteredBox->bottom, 303);
    const Image map = tamperMap(tampered, r);
    ASSERT_EQ(map.width, 1024);
    ASSERT_EQ(map.height, 768);
    auto isRed = [](ColourWord c) { return split(c).red > 150 && split(c).green < 80; };
    EXPECT_TRUE(isRed(map.at(400, 296)));
    EXPECT_TRUE(isRed(map.at(407, 303)));
    EXPECT_FALSE(isRed(map.at(408, 303)));
    const Channels unchecked = split(map.at(0, 0)), checked = split(map.at(101, 1));
    EXPECT_GT(unchecked.blue, unchecked.red);
    EXPECT_TRUE(isGrey(map.at(101, 1)));
    EXPECT_NE(unchecked.red, checked.red);
}

using test::BlockSet;

BlockSet flaggedBlocks(const MarkReport &r) {
    return test::blocksWhere([&](int bx, int by) { return r.blockFlagged(bx, by); });
}

BlockSet alteredBlocks(const MarkReport &r) {
    return test::blocksWhere([&](int bx, int by) { return r.blockAltered(bx, by); });
}

// Block columns first..last of block row by.
BlockSet blockRow(int by, int first, int last) {
    BlockSet blocks;
    for (int bx = first; bx <= last; ++bx)
        blocks.insert({bx, by});
    return blocks;
}

Keystream *testKey(const char *id) {
    MarkKey key{SecretBytes(32), id};
    for (std::size_t i = 0; i < key.secret.size(); ++i)
        key.secret[i] = static_cast<std::uint8_t>(3 + 41 * i);
    return new Keystream(key);
}

class KeyedVerify : public Verify {
protected:
    static void SetUpTestSuite() {
        Verify::SetUpTestSuite();
        key = testKey("print-0031");
        otherId = testKey("print-0032");
        sealed = new Image(embed(surfaceOf(*cover), surfaceOf(*watermark), 0, {}, key).watermarked.image());
    }
    static void TearDownTestSuite() {
        delete key;
        delete otherId;
        delete sealed;
        Verify::TearDownTestSuite();
    }
    static Keystream *key, *otherId;
    static Image *sealed;
};
Keystream *KeyedVerify::key, *KeyedVerify::otherId;
Image *KeyedVerify::sealed;

// A keyed block's hash reads its whole span: when a corner-folded block
// fails, every block of the span is flagged, the box reaching the edge,
// while the counts and the altered grid stay those of the carrying block.
// A keyless check hashes nothing and folds nothing.
TEST_F(KeyedVerify, AFailingCornerBlockFlagsItsWholeSpan) {
    struct Row {
        const char *name;
        bool keyed;
        int x, y;
        ColourWord flip;
        BlockSet altered, flagged;
        MarkReport::Box box;
    };
    const Row rows[] = {
        {"an edit at (10, 10)", true, 10, 10, 0x000100, {{12, 1}}, blockRow(1, 0, 12), {0, 8, 103, 15}},
        {"the top-left pixel", true, 0, 0, 0x000001, {{12, 0}}, blockRow(0, 0, 12), {0, 0, 103, 7}},
        {"the left span's carrying block", true, 101, 121, 0x000002, {{12, 15}},
         blockRow(15, 0, 12), {0, 120, 103, 127}},
        {"inside the right corner", true, 1000, 100, 0x800000, {{119, 12}}, blockRow(12, 119, 127),
         {952, 96, 1023, 103}},
        {"a carrying block in the middle", true, 402, 301, 0x100000, {{50, 37}}, {{50, 37}}, {400, 296, 407, 303}},
        {"a carrying block of row 16, below the corner", true, 10, 130, 0x000001, {{1, 16}}, {{1, 16}},
         {8, 128, 15, 135}},
        {"keyless, a carried bit beside the corner", false, 101, 1, 0x000002, {{12, 0}}, {{12, 0}},
         {96, 0, 103, 7}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Image tampered = row.keyed ? *sealed : *marked;
        tampered.at(row.x, row.y) ^= row.flip;
        const MarkReport r = verifyMark(tampered, *mark, row.keyed ? key : nullptr);
        EXPECT_FALSE(r.intact());
        EXPECT_FALSE(r.noBlockMatches());
        EXPECT_EQ(r.blocksChecked, 11968);
        EXPECT_EQ(r.blocksAltered, 1);
        EXPECT_EQ(alteredBlocks(r), row.altered);
        EXPECT_EQ(flaggedBlocks(r), row.flagged);
        ASSERT_TRUE(r.alteredBox);
        EXPECT_EQ(r.alteredBox->left, row.box.left);
        EXPECT_EQ(r.alteredBox->top, row.box.top);
        EXPECT_EQ(r.alteredBox->right, row.box.right);
        EXPECT_EQ(r.alteredBox->bottom, row.box.bottom);
    }
    // A keyless mark does not see a change in a corner at all.
    Image corner = *marked;
    corner.at(10, 10) ^= 0x010101;
    EXPECT_TRUE(verifyMark(corner, *mark).intact());
}

// The tamper map paints the span; the check of an image already unkeyed
// is the keyed check's.
TEST_F(KeyedVerify, TheMapPaintsTheSpanAndUnkeyedChecksFoldToo) {
    Image tampered = *sealed;
    tampered.at(10, 10) ^= 0x000100;
    const MarkReport r = verifyMark(tampered, *mark, key);
    Image unkeyed = tampered;
    key->apply(unkeyed);
    const MarkReport u = verifyUnkeyed(unkeyed, *mark);
    EXPECT_EQ(u.flagged, r.flagged);
    EXPECT_EQ(u.altered, r.altered);
    EXPECT_EQ(verifyMark(unkeyed, *mark).flagged, r.altered) << "keyless, no span";

    const Image map = tamperMap(tampered, r);
    auto isRed = [](ColourWord c) { return split(c).red > 150 && split(c).green < 80; };
    for (const auto &[x, y] : {std::pair{10, 10}, {0, 8}, {103, 15}, {96, 8}})
        EXPECT_TRUE(isRed(map.at(x, y))) << x << ", " << y;
    for (const auto &[x, y] : {std::pair{104, 8}, {0, 7}, {0, 16}, {10, 0}})
        EXPECT_FALSE(isRed(map.at(x, y))) << x << ", " << y;
}

// Every checked block fails only for another key or id, a picture never
// marked, or one replaced whole; one block that matches is enough to point
// at the rest.
TEST_F(KeyedVerify, NoBlockMatchesOnlyWhenEveryCheckedBlockFails) {
    Image blacked = *sealed;
    std::fill(blacked.pixels.begin(), blacked.pixels.end(), 0);
    // The cover with one marked block put back: a keyless check finds it.
    Image oneBlock = *cover;
    for (int y = 296; y < 304; ++y)
        for (int x = 400; x < 408; ++x)
            oneBlock.at(x, y) = marked->at(x, y);
    Image touched = *sealed;
    touched.at(10, 10) ^= 1;
    struct Row {
        const char *name;
        const Image *image;
        const Keystream *key;
        bool none;
        int altered;
    };
    const Row rows[] = {
        {"its key and id", sealed, key, false, 0},
        {"another id", sealed, otherId, true, 11968},
        {"keyed, no key", sealed, nullptr, true, 11968},
        {"keyless, a key", marked, key, true, 11968},
        {"keyless", marked, nullptr, false, 0},
        {"never marked", cover, key, true, 11968},
        {"never marked, keyless", cover, nullptr, true, 11968},
        {"replaced whole", &blacked, key, true, 11968},
        {"one marked block", &oneBlock, nullptr, false, 11967},
        {"one changed pixel", &touched, key, false, 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const MarkReport r = verifyMark(*row.image, *mark, row.key);
        EXPECT_EQ(r.noBlockMatches(), row.none);
        EXPECT_EQ(r.blocksAltered, row.altered);
        EXPECT_EQ(r.blocksChecked, 11968);
    }
    EXPECT_FALSE(verifyMark(Image(1024, 767), *mark).noBlockMatches()) << "nothing checked";
}

} // namespace
} // namespace ombrel
