// SPDX-License-Identifier: Apache-2.0
#include "imaging/colour.h"
#include "imaging/surface.h"

#include <gtest/gtest.h>

namespace ombrel {
namespace {

TEST(ColourWord, SplitAndGrey) {
    struct Row {
        const char *name;
        ColourWord word;
        int red, green, blue;
        bool grey;
    };
    const Row rows[] = {
        {"outside reads as white", -1, 255, 255, 255, true},
        {"mid grey", 0x808080, 128, 128, 128, true},
        {"pure red", 255, 255, 0, 0, false},
        {"blue in the high byte", 0xFF0000, 0, 0, 255, false},
        {"black", 0, 0, 0, 0, true},
    };
    for (const Row &r : rows) {
        const Channels c = split(r.word);
        EXPECT_EQ(c.red, r.red) << r.name;
        EXPECT_EQ(c.green, r.green) << r.name;
        EXPECT_EQ(c.blue, r.blue) << r.name;
        EXPECT_EQ(isGrey(r.word), r.grey) << r.name;
    }
}

TEST(ColourWord, ComposeSaturates) {
    EXPECT_EQ(rgb(300, 300, 300), 16777215);
    EXPECT_EQ(rgb(255, 255, 255), 16777215);
    EXPECT_EQ(rgb(1, 2, 3), 1 + 2 * 256 + 3 * 65536);
}

TEST(Surface, OutsideReadsMinusOneAndDropsWrites) {
    Surface s(4, 3, 7);
    EXPECT_EQ(s.point(4, 0), -1);
    EXPECT_EQ(s.point(0, 3), -1);
    EXPECT_EQ(s.point(-1, 0), -1);
    EXPECT_EQ(s.point(3, 2), 7) << "unset pixels show the background";
    s.pset(4, 1, 99);
    s.pset(1, 3, 99);
    EXPECT_EQ(s.width(), 4);
    EXPECT_EQ(s.height(), 3);
    s.pset(3, 2, 99);
    EXPECT_EQ(s.point(3, 2), 99);
}

TEST(Surface, LoadResizesAndKeepsPictureApart) {
    Surface s(333, 377);
    Image picture(512, 512, rgb(10, 20, 30));
    s.load(picture);
    EXPECT_EQ(s.width(), 512);
    EXPECT_EQ(s.height(), 512);
    s.pset(5, 5, 0);
    EXPECT_EQ(s.point(5, 5), 0);
    EXPECT_EQ(s.picture().at(5, 5), rgb(10, 20, 30)) << "writes leave the loaded picture alone";

    s.load(Image{});
    EXPECT_EQ(s.width(), 512) << "an empty picture keeps the size";
    EXPECT_EQ(s.point(5, 5), kControlFace);
    EXPECT_TRUE(s.picture().empty());
}

} // namespace
} // namespace ombrel
