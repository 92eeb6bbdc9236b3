// SPDX-License-Identifier: Apache-2.0
// Windows bitmaps read and written: every layout decoded, exact round trips,
// and bad files refused with their reason.
#include "imaging/picture_in.h"
#include "imaging/picture_out.h"
#include "support/bmp_builder.h"
#include "support/folder.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include <unistd.h>

namespace ombrel {
namespace {

class DecodesLayout : public ::testing::TestWithParam<test::NamedLayout> {};

TEST_P(DecodesLayout, GivesTheEncodedColours) {
    const test::BmpLayout layout = GetParam().layout;
    test::TempDir dir;
    const auto loaded = loadBitmap(dir.write("in.bmp", test::makeBmp(layout)));
    ASSERT_TRUE(loaded.ok()) << loaded.error().message();
    EXPECT_TRUE(*loaded == test::patternFor(layout));
}

INSTANTIATE_TEST_SUITE_P(Bitmaps, DecodesLayout, ::testing::ValuesIn(test::everyLayout()),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(BitmapFile, SaveThenLoadGivesEveryColourBack) {
    test::TempDir dir;
    for (auto [w, h] : {std::pair{1, 1}, {2, 2}, {7, 7}, {1, 300}, {300, 1}, {1024, 768}}) {
        const Image image = test::randomImage(w, h, static_cast<unsigned>(w * 31 + h));
        const std::string path = dir.file("round.bmp");
        ASSERT_TRUE(saveBitmap(image, path));
        const auto loaded = loadBitmap(path);
        ASSERT_TRUE(loaded.ok()) << loaded.error().message();
        EXPECT_TRUE(*loaded == image) << w << "x" << h;
        const std::string bytes = test::readFile(path);
        EXPECT_EQ(bytes[28], 24) << "uncompressed 24 bits a pixel";
    }
}

TEST(BitmapFile, GreySaveIsEightBitsAndExact) {
    test::TempDir dir;
    const Image image = test::randomImage(33, 17, 5, true);
    ASSERT_TRUE(saveBitmap(image, dir.file("g.bmp"), PictureKind::Grey8));
    EXPECT_EQ(test::readFile(dir.file("g.bmp"))[28], 8);
    EXPECT_TRUE(*loadBitmap(dir.file("g.bmp")) == image);
}

// The desktop program (with a screen) and the tool (without) once wrote 3780
// and 3937 here; every file now says 96 dots per inch.
TEST(BitmapFile, EveryFileSaysNinetySixDotsPerInch) {
    test::TempDir dir;
    const Image image = test::randomImage(5, 3, 2, true);
    for (PictureKind kind : {PictureKind::Rgb24, PictureKind::Grey8}) {
        ASSERT_TRUE(saveBitmap(image, dir.file("dpi.bmp"), kind));
        const std::string resolution = test::readFile(dir.file("dpi.bmp")).substr(38, 8);
        EXPECT_EQ(resolution, std::string("\xc4\x0e\x00\x00\xc4\x0e\x00\x00", 8))
            << "3780 pixels a metre, across and down";
    }
}

TEST(BitmapFile, BadFilesAreRefusedWithAReason) {
    test::TempDir dir;
    const std::string good = test::makeBmp({64, 64, 24});
    std::string huge = test::makeBmp({4, 4, 24});
    for (int i = 0; i < 4; ++i) { // claim 60000 x 60000
        huge[18 + i] = static_cast<char>((60000 >> (8 * i)) & 255);
        huge[22 + i] = static_cast<char>((60000 >> (8 * i)) & 255);
    }
    const std::string png = "\x89PNG\r\n\x1a\n" + std::string(100, '\0');
    std::filesystem::create_directory(dir.path() / "folder.bmp");
    struct Row {
        const char *name;
        std::string path;
        FileProblem problem;
    };
    const Row rows[] = {
        {"missing", dir.file("none.bmp"), FileProblem::NoSuchFile},
        {"zero bytes", dir.write("empty.bmp", ""), FileProblem::Empty},
        {"truncated header", dir.write("head.bmp", good.substr(0, 20)), FileProblem::TruncatedHeader},
        {"truncated pixels", dir.write("pixels.bmp", good.substr(0, good.size() - 100)),
         FileProblem::TruncatedPixels},
        {"60000 x 60000", dir.write("huge.bmp", huge), FileProblem::TooLarge},
        {"a folder", dir.file("folder.bmp"), FileProblem::IsFolder},
        {"png renamed", dir.write("photo.bmp", png), FileProblem::NotBitmap},
    };
    for (const Row &r : rows) {
        const auto loaded = loadBitmap(r.path);
        EXPECT_FALSE(loaded.ok()) << r.name;
        EXPECT_EQ(loaded.error().problem, r.problem) << r.name << ": " << loaded.error().reason();
        EXPECT_EQ(loaded.error().message().rfind(r.path, 0), 0u) << "names the file";
    }
}

// Inputs the fuzzer found: tiny run-length files claiming millions of pixels.
TEST(BitmapFile, FuzzFindingsAreRefusedQuickly) {
    const std::pair<const char *, FileProblem> findings[] = {
        {"rle4-tall-from-42-bytes.bmp", FileProblem::RunLengthTooLong},
        {"rle4-wide-topdown.bmp", FileProblem::TooLarge},
    };
    for (const auto &[name, problem] : findings) {
        const auto loaded = loadBitmap(std::string(OMBREL_SOURCE_DIR "/tests/data/fuzz/") + name);
        EXPECT_FALSE(loaded.ok()) << name;
        EXPECT_EQ(loaded.error().problem, problem) << name << ": " << loaded.error().reason();
    }
    // A sparse but honest run-length picture still loads.
    test::TempDir dir;
    const auto rle = loadBitmap(dir.write("rle.bmp", test::makeBmp({64, 64, 8, 40, false, 1})));
    EXPECT_TRUE(rle.ok()) << rle.error().reason();
}

// A picture given up to the codec is written byte for byte as a kept one.
TEST(BitmapFile, SpentPicturesAreWrittenAsKeptOnes) {
    test::TempDir dir;
    const Image kept = test::randomImage(33, 7, 4);
    for (const auto format : {FileFormat::Bmp, FileFormat::Png, FileFormat::Ppm}) {
        Image spent = kept;
        PictureToWrite fromKept{&kept, dir.file("kept")}, fromSpent{&spent, dir.file("spent")};
        fromKept.format = fromSpent.format = format;
        fromSpent.spent = &spent;
        ASSERT_TRUE(savePictures({fromKept, fromSpent}));
        EXPECT_EQ(test::readFile(dir.file("spent")), test::readFile(dir.file("kept")))
            << static_cast<int>(format);
    }
}

} // namespace
} // namespace ombrel
