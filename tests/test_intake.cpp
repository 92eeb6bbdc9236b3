// SPDX-License-Identifier: Apache-2.0
#include "stego/intake.h"
#include "text/texts.h"

#include <gtest/gtest.h>

namespace ombrel {
namespace {

TEST(Intake, CoverSize) {
    EXPECT_EQ(checkCover(1024, 768), Verdict::Suitable);
    EXPECT_EQ(checkCover(1024, 767), Verdict::WrongSize);
    EXPECT_EQ(checkCover(768, 1024), Verdict::WrongSize);
    EXPECT_EQ(checkCover(0, 0), Verdict::WrongSize) << "nothing picked yet";
}

Surface greyWatermark(int w = 512, int h = 512) {
    Surface s(w, h);
    s.load(Image(w, h, rgb(77, 77, 77)));
    return s;
}

TEST(Intake, Watermark) {
    struct Row {
        const char *name;
        int width, height;
        int redX, redY; // -1: no coloured pixel
        Verdict verdict;
        int rows;
        ColourWord colour = rgb(255, 0, 0);
    };
    const Row rows[] = {
        {"all grey", 512, 512, -1, -1, Verdict::Suitable, 512},
        {"red pixel at 10,10", 512, 512, 10, 10, Verdict::NotGrey, 9},
        {"colour only in column 0", 512, 512, 0, 40, Verdict::Suitable, 512},
        {"colour only in row 0", 512, 512, 40, 0, Verdict::Suitable, 512},
        {"512 x 511", 512, 511, -1, -1, Verdict::WrongSize, 0},
        {"511 x 512", 511, 512, -1, -1, Verdict::WrongSize, 0},
        {"colour cover", 1024, 768, 1, 1, Verdict::WrongSize, 0},
        {"only blue one off at 300,200", 512, 512, 300, 200, Verdict::NotGrey, 199, rgb(77, 77, 78)},
        {"only red one off at 511,511", 512, 512, 511, 511, Verdict::NotGrey, 510, rgb(76, 77, 77)},
        {"only green off at 1,1", 512, 512, 1, 1, Verdict::NotGrey, 0, rgb(77, 200, 77)},
    };
    for (const Row &r : rows) {
        Surface s = greyWatermark(r.width, r.height);
        if (r.redX >= 0)
            s.pset(r.redX, r.redY, r.colour);
        const WatermarkCheck check = checkWatermark(r.width, r.height, s);
        EXPECT_EQ(check.verdict, r.verdict) << r.name;
        EXPECT_EQ(check.rowsScanned, r.rows) << r.name;
        if (r.verdict == Verdict::NotGrey) {
            EXPECT_EQ(check.x, r.redX) << r.name;
            EXPECT_EQ(check.y, r.redY) << r.name;
        }
    }
}

TEST(Intake, WatermarkSizeIsTheMeasuredOne) {
    // The size measured at the click decides, not the surface.
    Surface s = greyWatermark();
    EXPECT_EQ(checkWatermark(0, 0, s).verdict, Verdict::WrongSize);
}

TEST(Intake, ThresholdReplies) {
    struct Row {
        const char *reply;
        std::optional<int> value;
    };
    const Row rows[] = {
        {"0", 0},          {"255", 255},      {"-255", -255},   {"256", std::nullopt},
        {"-256", std::nullopt}, {"12.5", 12}, {"13.5", 14},     {"-2.5", -2},
        {"  42  ", 42},    {"+7", 7},         {"- 7", -7},      {"254.5", 254},
        {"255.5", std::nullopt}, {"12.50001", 13}, {".5", 0}, {"5.", 5},
        {"", std::nullopt}, {"abc", std::nullopt}, {"1e2", std::nullopt},
        {"12a", std::nullopt}, {"-", std::nullopt}, {".", std::nullopt},
        {"99999999999999999999", std::nullopt}, {"1.2.3", std::nullopt},
    };
    for (const Row &r : rows)
        EXPECT_EQ(parseThreshold(r.reply), r.value) << "'" << r.reply << "'";
}

} // namespace
} // namespace ombrel

namespace ombrel {
namespace {

// The core says a verdict by its code; the windows and the tool say it in
// the program's words, which text/ holds.
TEST(Intake, EveryVerdictHasTheProgramsWords) {
    struct Row {
        Verdict verdict;
        std::string_view words;
        const char *expected;
    };
    const Row rows[] = {
        {Verdict::Suitable, text::kCoverSuitable, "The image is suitable for the encoding, 1024x768 image"},
        {Verdict::WrongSize, text::kCoverWrongSize,
         "The image is not 1024x768, please choose an image with 1024x768 dimensions"},
        {Verdict::Suitable, text::kWatermarkSuitable,
         "The image is suitable for the encoding, 512x512 image, with grey scale colors (8 bit)"},
        {Verdict::WrongSize, text::kWatermarkWrongSize,
         "The image is not 512x512, please choose an image with 512x512 dimensions"},
        {Verdict::NotGrey, text::kWatermarkNotGrey, "The image is not grey scale (8 bit)"},
    };
    for (const Row &r : rows)
        EXPECT_EQ(r.words, r.expected) << static_cast<int>(r.verdict);
}

} // namespace
} // namespace ombrel
