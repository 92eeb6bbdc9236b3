// SPDX-License-Identifier: Apache-2.0
// The marking both front ends share gives the tool's own bytes and words:
// a cover sealed through it is the file `ombrel embed` writes, and a check
// through it finds what `ombrel verify` finds and draws the same map.

#include "imaging/picture_out.h"
#include "marking/check_report.h"
#include "marking/key_files.h"
#include "marking/new_key.h"
#include "marking/sealing.h"
#include "support/bmp_builder.h"
#include "support/cli_run.h"
#include "support/cover_fixture.h"
#include "support/folder.h"

#include <gtest/gtest.h>

#include <fstream>

#include <sys/stat.h>

namespace ombrel {
namespace {

using test::runCli;

class Marking : public test::CoverAndWatermark {
protected:
    Marking() : CoverAndWatermark(47) {}
    void SetUp() override {
        CoverAndWatermark::SetUp();
        key = dir.file("owner.key");
        marking::makeKey(key);
        // A cover the tool must fit: another size, and a PNG.
        odd = dir.file("photo.png");
        const Image photo = test::randomImage(900, 700, 5);
        ASSERT_TRUE(savePictures({{&photo, odd, PictureKind::Rgb24, FileFormat::Png}}, Durability::Renamed));
    }
    marking::Keying keying(const std::string &id) const {
        marking::Keying k;
        k.secret = marking::readKeyFile(key);
        k.ids.id = id;
        return k;
    }
    std::string key, odd;
};

TEST_F(Marking, SealWritesTheBytesOfTheToolsEmbed) {
    struct Row {
        const char *name;
        bool keyed;
        const char *id;
        bool fit;
        int threshold;
        const char *output;
    };
    const Row rows[] = {
        {"keyless bitmap", false, "", false, 0, "plain.bmp"},
        {"keyed png with an id", true, "holiday-7", false, 12, "sealed.png"},
        {"keyed with no id", true, "", false, 0, "sealed-noid.png"},
        {"keyed png fitted from another size", true, "photo", true, 3, "fitted.png"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string from = row.fit ? odd : cover;
        std::vector<std::string> args{"embed", from, watermark, "-t", std::to_string(row.threshold), "-o",
                                      dir.file(std::string("tool-") + row.output)};
        if (row.keyed)
            args.insert(args.end(), {"--key-file", key, "--id", row.id});
        if (row.fit)
            args.push_back("--fit");
        const test::RunResult tool = runCli(args);
        ASSERT_EQ(tool.code, 0) << tool.err;

        marking::SealRequest request{from, watermark, dir.file(row.output), row.threshold,
                                     row.fit ? marking::Fit::On : marking::Fit::NotOffered,
                                     row.keyed ? keying(row.id) : marking::Keying{}};
        marking::seal(request);
        EXPECT_TRUE(test::readFile(dir.file(row.output)) == test::readFile(dir.file(std::string("tool-") + row.output)))
            << "the sealed files differ";
    }
}

TEST_F(Marking, SealRefusesInTheToolsWordsAndLeavesTheOutputAlone) {
    struct Row {
        const char *name;
        std::string coverPath;
        std::string output;
        std::string message;
    };
    const std::string kept = dir.file("kept.png");
    std::ofstream(kept) << "what was there";
    const Row rows[] = {
        {"a lossy output name", cover, dir.file("out.jpg"),
         dir.file("out.jpg") + ": .jpg is a lossy format, and lossy compression destroys the watermark; name it .bmp, .png, .tif, .tiff, .ppm or .pgm"},
        {"a cover of another size, not fitted", odd, kept,
         odd + ": The image is not 1024x768, please choose an image with 1024x768 dimensions"},
        {"a cover that is no picture", dir.file("owner.key"), kept,
         dir.file("owner.key") + ": not a picture this program reads (BMP, PNG, TIFF, PPM or PGM)"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        try {
            marking::seal({row.coverPath, watermark, row.output, 0, marking::Fit::NotOffered, keying("x")});
            ADD_FAILURE() << "sealed";
        } catch (const marking::Refusal &refusal) {
            EXPECT_EQ(std::string(refusal.what()), row.message);
        }
    }
    EXPECT_EQ(test::readFile(kept), "what was there");
}

TEST_F(Marking, ACheckFindsWhatVerifyFindsAndDrawsItsMap) {
    const std::string sealed = dir.file("sealed.png");
    marking::seal({cover, watermark, sealed, 0, marking::Fit::NotOffered, keying("card")});
    // A region painted over, as in any image editor.
    Image painted = marking::load(sealed);
    for (int y = 300; y < 420; ++y)
        for (int x = 560; x < 760; ++x)
            painted.pixels[static_cast<std::size_t>(y) * painted.width + x] = 0x00ff00;
    const std::string changed = dir.file("changed.png");
    ASSERT_TRUE(savePictures({{&painted, changed, PictureKind::Rgb24, FileFormat::Png}}, Durability::Renamed));

    struct Row {
        const char *name;
        std::string picture;
        std::string id;
        std::string verdict;
        std::string box;
        bool keyed = true;
    };
    const Row rows[] = {
        {"untouched", sealed, "card", "intact", ""},
        {"painted over", changed, "card", "altered", "x 560..759, y 296..423"},
        {"another id", sealed, "other", "no block matches: not sealed with this key and id, or replaced whole", ""},
        // Without a key the keystream reads as changes everywhere: two words still.
        {"keyless", sealed, "", "altered", "x 0..1023, y 0..767", false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string toolMap = dir.file(std::string("tool-map-") + row.name + ".png");
        std::vector<std::string> args{"verify", row.picture, "--watermark", watermark, "--map", toolMap};
        if (row.keyed)
            args.insert(args.end(), {"--key-file", key, "--id", row.id});
        const test::RunResult tool = runCli(args);
        ASSERT_NE(tool.code, 1) << tool.err;

        const std::optional<Keystream> stream =
            row.keyed ? keying(row.id).keystreamFor(row.picture) : std::nullopt;
        const Surface image(marking::load(row.picture));
        const marking::PictureCheck check = marking::checkPicture(image, marking::watermarkSurface(watermark), 0,
                                                                  marking::keyed(stream));
        EXPECT_EQ(marking::verdict(check.report, check.keyed), row.verdict);
        EXPECT_EQ(marking::noMatch(check.report, check.keyed) ? "" : marking::boxText(check.report), row.box);
        const std::string blocks = "Altered 8x8 blocks: " + std::to_string(check.report.blocksAltered) + " of " +
                                   std::to_string(check.report.blocksChecked) + " checked";
        EXPECT_NE(tool.out.find(blocks + "\n"), std::string::npos) << tool.out;
        const std::string map = dir.file(std::string("map-") + row.name + ".png");
        marking::saveMap(image, check.report, map);
        EXPECT_TRUE(test::readFile(map) == test::readFile(toolMap)) << "the maps differ";
    }
}

TEST_F(Marking, ANewKeyIsThirtyTwoPrivateBytesAndNeverReplacesAFile) {
    EXPECT_EQ(test::readFile(key).size(), 32u);
    struct stat st{};
    ASSERT_EQ(::stat(key.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const std::string before = test::readFile(key);
    try {
        marking::makeKey(key);
        ADD_FAILURE() << "replaced";
    } catch (const marking::Refusal &refusal) {
        EXPECT_EQ(std::string(refusal.what()), key + ": already exists; keygen never replaces a key");
    }
    EXPECT_EQ(test::readFile(key), before);
    // Two keys are never the same.
    const std::string second = dir.file("second.key");
    marking::makeKey(second);
    EXPECT_NE(test::readFile(second), before);
}

SecretBytes bytesOf(const std::string &text) { return SecretBytes(text.begin(), text.end()); }

TEST_F(Marking, AKeyChoiceIsReadAsTheToolReadsItsKeyOptions) {
    using Source = marking::KeyChoice::Source;
    const std::string fresh = dir.file("fresh.key");
    struct Row {
        const char *name;
        marking::KeyChoice choice;
        std::string refusal; // "" when the choice is taken
    };
    const Row rows[] = {
        {"a new key over a file", {Source::NewKey, key, {}, {}, false, {}},
         key + ": already exists; keygen never replaces a key"},
        {"passphrases that differ", {Source::Passphrase, "", bytesOf("tide pool"), bytesOf("tide poll"), true, {}},
         "the two passphrases differ; nothing was marked"},
        {"an empty passphrase", {Source::Passphrase, "", {}, {}, true, {}}, "the passphrase is empty"},
        {"a key file", {Source::KeyFile, key, {}, {}, false, {"card", false}}, ""},
        {"a new key", {Source::NewKey, fresh, {}, {}, false, {"card", false}}, ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        try {
            const marking::Keying keying = marking::keyingFor(row.choice);
            EXPECT_EQ(row.refusal, "");
            ASSERT_TRUE(keying.secret);
            const std::string bytes = test::readFile(row.choice.path);
            EXPECT_EQ(std::string(keying.secret->begin(), keying.secret->end()), bytes);
            EXPECT_EQ(bytes.size(), 32u);
            EXPECT_EQ(keying.ids.id, "card");
        } catch (const marking::Refusal &refusal) {
            EXPECT_EQ(std::string(refusal.what()), row.refusal);
        }
    }
}

TEST_F(Marking, APassphraseTypedTwiceSealsAsThePassphraseFileDoes) {
    const std::string file = dir.file("pass.txt");
    std::ofstream(file) << "tide pool\n";
    ::chmod(file.c_str(), 0600);
    ASSERT_EQ(runCli({"embed", cover, watermark, "-o", dir.file("tool.png"), "--passphrase-file", file, "--id", "a"}).code,
              0);
    marking::seal({cover, watermark, dir.file("ours.png"), 0, marking::Fit::NotOffered,
                   marking::keyingFor({marking::KeyChoice::Source::Passphrase, "", bytesOf("tide pool"),
                                       bytesOf("tide pool"), true, {"a", false}})});
    EXPECT_TRUE(test::readFile(dir.file("ours.png")) == test::readFile(dir.file("tool.png"))) << "the files differ";
}

} // namespace
} // namespace ombrel
