// SPDX-License-Identifier: Apache-2.0
#include "stego/layout.h"

#include <gtest/gtest.h>

#include <set>

namespace ombrel {
namespace {

CoverMatrix readAll(const Surface &s) {
    CoverMatrix m = makeCoverMatrix();
    for (int y = 1; y <= kCoverHeight; ++y)
        readCoverRow(s, y, m);
    return m;
}

TEST(Layout, CoverMatrixReadsOutsideAsMinusOne) {
    Surface s(1024, 768, 5);
    const CoverMatrix m = readAll(s);
    EXPECT_EQ(m(1023, 767), 5);
    EXPECT_EQ(m(1024, 1), -1);
    EXPECT_EQ(m(1, 768), -1);
}

TEST(Layout, ApproximationGroupOnWhitePixels) {
    Surface cover(1024, 768);
    cover.load(Image(1024, 768, rgb(255, 255, 255)));
    const CoverMatrix m = readAll(cover);
    CoeffMatrix c = makeCoeffMatrix();
    c(1, 1) = 180; // 10110100
    c(2, 1) = 77;  // 01001101
    c(3, 1) = 200; // 11001000
    embedApproximationRow(1, m, c, cover);
    struct Expect {
        int column, blue, green, red;
    };
    for (const Expect &e : {Expect{101, 254, 253, 252}, Expect{106, 253, 255, 252},
                            Expect{111, 255, 252, 255}, Expect{116, 252, 253, 254}}) {
        const Channels ch = split(cover.point(e.column, 1));
        EXPECT_EQ(ch.blue, e.blue) << "column " << e.column;
        EXPECT_EQ(ch.green, e.green) << "column " << e.column;
        EXPECT_EQ(ch.red, e.red) << "column " << e.column;
    }
    CoeffMatrix back = makeCoeffMatrix();
    gatherApproximationRow(1, readAll(cover), back);
    EXPECT_EQ(back(1, 1), 180);
    EXPECT_EQ(back(2, 1), 77);
    EXPECT_EQ(back(3, 1), 200);
}

TEST(Layout, LastGroupCarriesOnlyTwoValues) {
    Surface cover(1024, 768);
    cover.load(Image(1024, 768, 0));
    CoeffMatrix c = makeCoeffMatrix();
    c(129, 2) = 0; // whatever (129, y) holds, the third string is all ones
    embedApproximationRow(2, readAll(cover), c, cover);
    const int q = 103 + 20 * 42;
    EXPECT_EQ(split(cover.point(q, 2)).red, 3);
    EXPECT_EQ(split(cover.point(q + 5, 2)).red, 3);
    EXPECT_EQ(split(cover.point(q + 10, 2)).blue, 3);
    EXPECT_EQ(split(cover.point(q + 15, 2)).red, 3);
}

TEST(Layout, DetailBits) {
    struct Row {
        const char *name;
        ColourWord cover;
        std::int32_t value;
        ColourWord expected;
    };
    const Row rows[] = {
        {"value 5 on black", 0, 5, 0x010100}, // b0 -> blue, b2 -> green, b1 -> red
        {"value 2 on black", 0, 2, 0x000001},
        {"value 4 on black", 0, 4, 0x000100},
        {"value 0 clears low bits", 0xFFFFFF, 0, 0xFEFEFE},
        {"value 7 on white keeps white", 0xFFFFFF, 7, 0xFFFFFF},
        {"outside word spells 1", -1, 0, 0},
    };
    for (const Row &r : rows)
        EXPECT_EQ(embedDetail(r.cover, r.value), r.expected) << r.name;
    EXPECT_EQ(gatherDetail(embedDetail(0, 7)), 7);
    EXPECT_EQ(gatherDetail(0x010100), 5);
    EXPECT_EQ(gatherDetail(-1), 2) << "an outside read gathers green 0, red 1, blue 0";
    EXPECT_EQ(gatherDetail(rgb(1, 0, 1) ), 3) << "blue 1, green 0, red 1 gives 011";
}

// Every stage writes its own pixels: none twice, none outside its rows, and
// exactly the 447 that fall off the picture are lost.
TEST(Layout, PositionsAreDisjointAndCounted) {
    Surface cover(1024, 768);
    cover.load(Image(1024, 768, 0));
    const CoverMatrix m = readAll(cover);
    CoeffMatrix all7 = makeCoeffMatrix();
    for (int y = 1; y <= 512; ++y)
        for (int x = 1; x <= 512; ++x)
            all7(x, y) = (x <= 128 && y <= 128) ? 255 : 7;
    for (int y = 1; y <= 128; ++y)
        embedApproximationRow(y, m, all7, cover);
    for (int y = 1; y <= 512; ++y)
        embedRightRow(y, m, all7, cover);
    for (int x = 1; x <= 128; ++x)
        embedLowerColumn(x, m, all7, cover);
    int changed = 0;
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 1024; ++x)
            if (cover.point(x, y) != 0) {
                ++changed;
                ASSERT_NE(x, 0);
                ASSERT_NE(y, 0);
            }
    EXPECT_EQ(changed, 43 * 4 * 128 + 384 * 512 + 128 * 384 - 447);

    CoeffMatrix back = makeCoeffMatrix();
    const CoverMatrix written = readAll(cover);
    for (int y = 1; y <= 128; ++y)
        gatherApproximationRow(y, written, back);
    for (int y = 1; y <= 512; ++y)
        gatherRightRow(y, written, back);
    for (int x = 1; x <= 128; ++x)
        gatherLowerColumn(x, written, back);
    int lost = 0;
    for (int y = 1; y <= 512; ++y)
        for (int x = 1; x <= 512; ++x)
            if (back(x, y) != all7(x, y)) {
                ++lost;
                ASSERT_EQ(back(x, y), 2) << x << "," << y;
                ASSERT_TRUE(x == 128 || (y == 512 && x % 2 == 0)) << x << "," << y;
            }
    EXPECT_EQ(lost, 447);
}

} // namespace
} // namespace ombrel
