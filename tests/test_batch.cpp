// SPDX-License-Identifier: Apache-2.0
// Many files in one call: embed, extract and verify over lists and folders,
// against the same commands run one file at a time.
#include "cli/attacks.h"
#include "imaging/picture_in.h"
#include "imaging/picture_out.h"
#include "imaging/sample_images.h"
#include "support/bmp_builder.h"
#include "support/cli_run.h"
#include "support/folder.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <set>

namespace ombrel {
namespace {

using test::entriesOf;
using test::linesOf;
using test::readFile;
using test::runCli;

std::set<std::string> asSet(const std::vector<std::string> &v) { return {v.begin(), v.end()}; }

// Covers in three formats, one of the wrong size.
class Batch : public ::testing::Test {
protected:
    void SetUp() override {
        watermark = dir.file("watermark.bmp");
        ASSERT_TRUE(saveBitmap(sampleWatermark(), watermark, PictureKind::Grey8));
        std::filesystem::create_directory(dir.file("in"));
        a = dir.file("in/a.bmp");
        b = dir.file("in/b.png");
        c = dir.file("in/c.jpg");
        small = dir.file("in/small.bmp");
        ASSERT_TRUE(saveBitmap(test::randomImage(1024, 768, 1), a));
        const Image second = test::randomImage(1024, 768, 2);
        ASSERT_TRUE(savePictures({{&second, b, PictureKind::Rgb24, FileFormat::Png}}));
        dir.write("in/c.jpg", cli::jpegFile(sampleCover(), 90));
        ASSERT_TRUE(saveBitmap(test::randomImage(64, 48, 3), small));
    }
    // What the single-file form writes for cover, and the PSNR line it prints.
    std::pair<std::string, std::string> embedOne(const std::string &cover, const std::string &name) {
        const std::string out = dir.file(name);
        const auto r = runCli({"embed", cover, watermark, "-t", "3", "-o", out});
        EXPECT_EQ(r.code, 0) << r.err;
        return {readFile(out), linesOf(r.out).back()};
    }

    test::TempDir dir;
    std::string watermark, a, b, c, small;
};

TEST_F(Batch, EmbedManyWritesWhatEmbedOneWrites) {
    const std::string out = dir.file("marked");
    const auto r = runCli({"embed", dir.file("in"), "--watermark", watermark, "-t", "3", "-j", "2", "-o", out + "/"});
    EXPECT_EQ(r.code, 1) << "a cover failed";
    EXPECT_EQ(r.err, small + ": The image is not 1024x768, please choose an image with 1024x768 dimensions; --fit scales and crops a cover of any size\n");
    // The JPEG's marked image is a PNG; no temporary is left.
    EXPECT_EQ(entriesOf(out), (std::set<std::string>{"a.bmp", "b.png", "c.png"}));
    std::set<std::string> said;
    for (const auto &[cover, name] : {std::pair{a, "a.bmp"}, {b, "b.png"}, {c, "c.png"}}) {
        const auto [bytes, psnrLine] = embedOne(cover, std::string("one-") + name);
        EXPECT_EQ(readFile(out + "/" + name), bytes) << name;
        const std::string psnr = psnrLine.substr(psnrLine.rfind(": ") + 2);
        said.insert("Wrote " + out + "/" + name + ", PSNR " + psnr);
    }
    EXPECT_EQ(asSet(linesOf(r.out)), said);

    // Listed files rather than a folder, all good: exit status 0, one line each.
    const auto listed = runCli({"embed", b, a, "--watermark", watermark, "-t", "3", "-j", "1", "-o", dir.file("two")});
    EXPECT_EQ(listed.code, 0) << listed.err;
    EXPECT_EQ(linesOf(listed.out).size(), 2u);
    EXPECT_EQ(linesOf(listed.out)[0].rfind("Wrote " + dir.file("two/a.bmp") + ", PSNR ", 0), 0u) << "sorted";
}

// Refused in one line before any work: nothing is written, no folder made.
TEST_F(Batch, RefusedBeforeAnyWork) {
    std::filesystem::create_directory(dir.file("sub"));
    const std::string twin = dir.file("sub/a.bmp"), png = dir.file("sub/c.png");
    std::filesystem::copy_file(a, twin);
    std::filesystem::copy_file(b, png);
    const std::string out = dir.file("out"), missing = dir.file("in/nope.bmp");
    struct Row {
        const char *name;
        std::vector<std::string> args;
        int code;
        std::string said; // the first line of stderr
    };
    const std::vector<std::string> mark = {"--watermark", watermark, "-o", out};
    auto with = [](std::vector<std::string> front, const std::vector<std::string> &back) {
        front.insert(front.end(), back.begin(), back.end());
        return front;
    };
    const Row rows[] = {
        {"same name", with({"embed", a, twin}, mark), 1,
         a + " and " + twin + " would both be written as " + out + "/a.bmp"},
        {"same name once a PNG", with({"embed", c, png}, mark), 1,
         c + " and " + png + " would both be written as " + out + "/c.png"},
        {"missing cover", with({"embed", a, missing}, mark), 1, missing + ": no such file"},
        {"over its cover", {"embed", a, "--watermark", watermark, "-o", dir.file("in")}, 1,
         a + ": would replace the picture it is made of"},
        {"coefficient picture", with({"embed", a, b, "--wavelet-picture", dir.file("w.bmp")}, mark), 2,
         "ombrel embed: --wavelet-picture takes one cover: embed COVER WATERMARK"},
        {"extract missing", {"extract", a, missing, "-o", out}, 1, missing + ": no such file"},
        {"verify missing", {"verify", a, missing, "--watermark", watermark, "--map", out}, 1,
         missing + ": no such file"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const auto r = runCli(row.args);
        EXPECT_EQ(r.code, row.code);
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')), row.said);
        if (row.code == 1) {
            EXPECT_EQ(linesOf(r.err).size(), 1u) << r.err;
        }
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(std::filesystem::exists(out));
        EXPECT_EQ(entriesOf(dir.file("in")), (std::set<std::string>{"a.bmp", "b.png", "c.jpg", "small.bmp"}));
    }
}

// Many inputs and an output named like a picture: a usage error, as cp a b
// out.bmp is, and no folder of that name. A folder already there, or a name
// ending in /, is taken as the folder it says.
TEST_F(Batch, ManyFilesIntoAPictureNameIsAUsageError) {
    const std::string outBmp = dir.file("out.bmp"), outPng = dir.file("out.png"), mapTif = dir.file("map.tif");
    struct Row {
        const char *name;
        std::vector<std::string> args;
        std::string said; // the first line of stderr
        std::string named; // what must not appear
    };
    const Row rows[] = {
        {"extract a folder", {"extract", dir.file("in"), "-o", outBmp},
         "ombrel extract: -o needs a folder for many files, not the picture name " + outBmp, outBmp},
        {"extract two", {"extract", a, b, "--output", outBmp},
         "ombrel extract: -o needs a folder for many files, not the picture name " + outBmp, outBmp},
        {"embed two", {"embed", a, b, "--watermark", watermark, "-o", outPng},
         "ombrel embed: -o needs a folder for many files, not the picture name " + outPng, outPng},
        {"embed one with --watermark", {"embed", a, "--watermark", watermark, "-o", outPng},
         "ombrel embed: -o needs a folder for many files, not the picture name " + outPng, outPng},
        {"verify maps", {"verify", a, b, "--watermark", watermark, "--map", mapTif},
         "ombrel verify: --map needs a folder for many files, not the picture name " + mapTif, mapTif},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const auto r = runCli(row.args);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')), row.said);
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(std::filesystem::exists(row.named));
        EXPECT_EQ(entriesOf(dir.path()), (std::set<std::string>{"in", "watermark.bmp"}));
    }

    std::filesystem::create_directory(outBmp);
    const auto into = runCli({"extract", a, b, "-o", outBmp});
    EXPECT_EQ(into.code, 0) << into.err;
    EXPECT_EQ(entriesOf(outBmp), (std::set<std::string>{"a.bmp", "b.png"}));
    const auto slash = runCli({"embed", a, b, "--watermark", watermark, "-o", outPng + "/"});
    EXPECT_EQ(slash.code, 0) << slash.err;
    EXPECT_EQ(entriesOf(outPng), (std::set<std::string>{"a.bmp", "b.png"}));
}

TEST_F(Batch, ExtractManyWritesWhatExtractOneWrites) {
    const std::string marked = dir.file("marked"), out = dir.file("marks");
    ASSERT_EQ(runCli({"embed", a, b, c, "--watermark", watermark, "-o", marked}).code, 0);
    // Several images, a folder, or an output that ends in / or is a folder.
    const auto r = runCli({"extract", marked, small, "-j", "2", "-o", out});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, small + ": The image is not 1024x768, please choose an image with 1024x768 dimensions\n");
    EXPECT_EQ(entriesOf(out), (std::set<std::string>{"a.bmp", "b.png", "c.png"}));
    for (const char *name : {"a.bmp", "b.png", "c.png"}) {
        const std::string one = dir.file(std::string("one-") + name);
        ASSERT_EQ(runCli({"extract", marked + "/" + name, "-o", one}).code, 0);
        EXPECT_EQ(readFile(out + "/" + name), readFile(one)) << name;
    }
    const auto single = runCli({"extract", marked + "/a.bmp", "-o", dir.file("into") + "/"});
    EXPECT_EQ(single.code, 0) << single.err;
    EXPECT_EQ(single.out, "Wrote " + dir.file("into/a.bmp") + "\n");
}

// A line a picture; the exit status says the worst: 1 unreadable, 3 altered.
TEST_F(Batch, VerifyManyLinesCsvAndExitStatus) {
    const std::string marked = dir.file("marked");
    ASSERT_EQ(runCli({"embed", a, "--watermark", watermark, "-o", marked}).code, 0);
    Image tampered = *loadBitmap(marked + "/a.bmp");
    tampered.at(400, 300) ^= 0x000100; // green bit of coefficient (201, 172)
    const std::string good = marked + "/a.bmp", bad = dir.file("t.bmp"), broken = dir.write("broken.bmp", "BM?");
    ASSERT_TRUE(saveBitmap(tampered, bad));
    const std::string intactLine = good + ": intact, 0 of 868035 bits differing";
    const std::string alteredLine =
        bad + ": altered, 1 of 868035 bits differing, altered area x 400..407, y 296..303";
    struct Row {
        const char *name;
        std::vector<std::string> images;
        int code;
        std::vector<std::string> lines;
        std::string err;
    };
    const Row rows[] = {
        {"all intact", {marked}, 0, {intactLine}, ""},
        {"one altered", {bad, good}, 3, {intactLine, alteredLine}, ""},
        {"one unreadable", {broken, bad, good}, 1, {intactLine, alteredLine},
         broken + ": truncated bitmap header\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string csv = dir.file("v.csv");
        std::vector<std::string> args = {"verify"};
        args.insert(args.end(), row.images.begin(), row.images.end());
        args.insert(args.end(), {"--watermark", watermark, "-j", "1", "--csv", csv});
        const auto r = runCli(args);
        EXPECT_EQ(r.code, row.code);
        EXPECT_EQ(r.err, row.err);
        std::vector<std::string> expected = row.lines;
        std::sort(expected.begin(), expected.end());
        expected.push_back("Wrote " + csv);
        EXPECT_EQ(linesOf(r.out), expected);
    }
    EXPECT_EQ(readFile(dir.file("v.csv")),
              "image,verdict,bits_compared,bits_differing,blocks_altered,box\n" + good +
                  ",intact,868035,0,0,\n" + bad + ",altered,868035,1,1,\"x 400..407, y 296..303\"\n");

    // Tamper maps: a folder of them, each of its image's size.
    const std::string maps = dir.file("maps");
    ASSERT_EQ(runCli({"verify", good, bad, "--watermark", watermark, "--map", maps}).code, 3);
    EXPECT_EQ(entriesOf(maps), (std::set<std::string>{"a.bmp", "t.bmp"}));
    EXPECT_EQ(loadBitmap(maps + "/t.bmp")->width, 1024);
}

// The tool in a process of its own over more covers than it finishes before
// the signal: it stops after the cover under way, every file it wrote is
// whole, and the status names the signal.
TEST_F(Batch, SignalsStopAfterTheFilesUnderWay) {
    const std::string many = dir.file("many");
    std::filesystem::create_directory(many);
    constexpr int kMany = 150;
    for (int i = 0; i < kMany; ++i)
        std::filesystem::create_hard_link(a, many + "/c" + std::to_string(100 + i) + ".bmp");
    const std::string expected = embedOne(a, "one.bmp").first;
    struct Row {
        const char *name;
        int signal, status;
        std::string word;
    };
    for (const Row &row : {Row{"SIGTERM", SIGTERM, 143, "terminated"}, Row{"SIGHUP", SIGHUP, 129, "hung up"},
                           Row{"SIGINT", SIGINT, 130, "interrupted"}}) {
        SCOPED_TRACE(row.name);
        const std::string out = dir.file(std::string("out-") + row.name);
        test::Child tool = test::Child::onTerminal(
            OMBREL_BINARY, {"embed", many, "--watermark", watermark, "-t", "3", "-j", "1", "-o", out},
            dir.file("said"));
        ASSERT_TRUE(tool.waitToShow(" images/s ", std::chrono::minutes(1))) << tool.screen();
        tool.signal(row.signal);
        const test::Ending end = tool.wait();
        ASSERT_TRUE(end.exited) << "ended by signal " << end.status;
        EXPECT_EQ(end.status, row.status);
        const auto written = entriesOf(out);
        EXPECT_LT(written.size(), static_cast<std::size_t>(kMany)) << "stopped part-way";
        for (const std::string &name : written)
            EXPECT_EQ(readFile(out + "/" + name), expected) << name << " is whole";
        const std::string &screen = tool.screen();
        EXPECT_EQ(screen.substr(screen.rfind("\033[K") + 3),
                  row.word + ": " + std::to_string(written.size()) + " of 150 covers marked\n");
        EXPECT_EQ(linesOf(readFile(dir.file("said"))).size(), written.size());
    }
}

} // namespace
} // namespace ombrel
