#include "cli/cli.h"
#include "imaging/picture_in.h"
#include "imaging/picture_out.h"
#include "imaging/sample_images.h"
#include "stego/embedding.h"
#include "stego/extraction.h"
#include "stego/intake.h"
#include "text/texts.h"
#include "support/bmp_builder.h"
#include "support/cli_run.h"
#include "support/reference.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace ombrel {
namespace {

using Result = test::CliResult;
Result run(const std::vector<std::string> &args) { return test::runCli(args); }

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        cover = dir.file("cover.bmp");
        watermark = dir.file("watermark.bmp");
        ASSERT_TRUE(saveBitmap(test::randomImage(1024, 768, 3), cover));
        ASSERT_TRUE(saveBitmap(sampleWatermark(), watermark, PictureKind::Grey8));
    }
    Image load(const std::string &path) { return *loadBitmap(path); }

    test::TempDir dir;
    std::string cover, watermark;
};

TEST_F(Cli, EmbedAndExtractFollowTheReferenceBitForBit) {
    const std::string out = dir.file("out.bmp"), wav = dir.file("w1.bmp"), q = dir.file("w2.bmp");
    const Result r = run({"embed", cover, watermark, "-t", "3", "-o", out, "--wavelet-picture",
                          wav, "--quantised-picture=" + q});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("PSNR"), std::string::npos);
    const test::ReferenceEmbed ref = test::referenceEmbed(load(cover), load(watermark), 3);
    EXPECT_TRUE(load(out) == ref.watermarked);
    EXPECT_TRUE(load(wav) == ref.firstPicture);
    EXPECT_TRUE(load(q) == ref.secondPicture);

    const std::string extracted = dir.file("x.bmp");
    ASSERT_EQ(run({"extract", out, "--output", extracted}).code, 0);
    EXPECT_TRUE(load(extracted) == test::referenceExtract(ref.watermarked));
}

TEST_F(Cli, RefusalsUseTheProgramsWords) {
    const std::string colour = dir.file("colour.bmp"), small = dir.file("small.bmp");
    ASSERT_TRUE(saveBitmap(test::randomImage(512, 512, 9), colour));
    ASSERT_TRUE(saveBitmap(test::randomImage(100, 80, 9, true), small));
    const std::string png = dir.write("fake.bmp", "\x89PNG\r\n\x1a\nxxxxxxxxxxxxxxxxxxxx");
    const std::string out = dir.file("out.bmp");
    struct Row {
        const char *name;
        std::vector<std::string> args;
        std::string message;
    };
    const Row rows[] = {
        {"cover size", {"embed", small, watermark, "-o", out}, std::string(text::kCoverWrongSize)},
        {"watermark size", {"embed", cover, small, "-o", out}, std::string(text::kWatermarkWrongSize)},
        {"watermark colour", {"embed", cover, colour, "-o", out}, std::string(text::kWatermarkNotGrey)},
        {"threshold range", {"embed", cover, watermark, "-t", "256", "-o", out}, std::string(text::kThresholdInvalid)},
        {"threshold text", {"embed", cover, watermark, "-t", "abc", "-o", out}, std::string(text::kThresholdInvalid)},
        {"extract size", {"extract", small, "-o", out}, std::string(text::kCoverWrongSize)},
        {"not a picture", {"extract", png, "-o", out}, png + ": not a readable picture"},
        {"missing file", {"compare", dir.file("nope.bmp"), cover}, dir.file("nope.bmp") + ": no such file"},
        {"sizes differ", {"compare", cover, watermark}, "the images differ in size"},
        {"verify size", {"verify", small, "--watermark", watermark}, std::string(text::kCoverWrongSize)},
        {"verify not a picture", {"verify", png, "--watermark", watermark}, png + ": not a readable picture"},
        {"verify watermark colour", {"verify", cover, "--watermark", colour}, std::string(text::kWatermarkNotGrey)},
        {"verify threshold", {"verify", cover, "--watermark", watermark, "-t", "300", "--map", out}, std::string(text::kThresholdInvalid)},
        {"attack size", {"attack", small, "--watermark", watermark, "--csv", out}, std::string(text::kCoverWrongSize)},
        {"attack missing", {"attack", dir.file("nope.bmp"), "--csv", out}, dir.file("nope.bmp") + ": no such file"},
        {"evaluate threshold", {"evaluate", cover, "--watermark", watermark, "-t", "0,x", "-o", out}, std::string(text::kThresholdInvalid)},
        {"evaluate watermark", {"evaluate", cover, "--watermark", small, "-o", out}, std::string(text::kWatermarkWrongSize)},
    };
    for (const Row &r : rows) {
        const Result res = run(r.args);
        EXPECT_EQ(res.code, 1) << r.name;
        EXPECT_NE(res.err.find(r.message), std::string::npos) << r.name << ": " << res.err;
        EXPECT_EQ(std::count(res.err.begin(), res.err.end(), '\n'), 1) << r.name << ": one line";
        EXPECT_FALSE(std::filesystem::exists(out)) << r.name << ": nothing written";
    }
}

TEST_F(Cli, UsageErrors) {
    const std::vector<std::vector<std::string>> rows = {
        {},
        {"frobnicate"},
        {"embed", cover},
        {"embed", cover, watermark},
        {"embed", cover, watermark, "-o"},
        {"embed", cover, watermark, "--colour", "red", "-o", "x.bmp"},
        {"extract"},
        {"compare", cover},
        {"demo", "a", "b"},
        {"verify", cover},
        {"verify", "--watermark", watermark},
        {"attack", cover, "--chart", "c.png"},
        {"evaluate", cover, "--watermark", watermark},
        {"evaluate", cover, "-o", "dir"},
        {"evaluate", cover, "--watermark", watermark, "-o", "dir", "-j", "0"},
        {"evaluate", cover, "--watermark", watermark, "-o", "dir", "--shard", "3/2"},
        {"evaluate", cover, "--watermark", watermark, "-o", "dir", "--shard", "0/2"},
        {"evaluate", cover, "--watermark", watermark, "-o", "dir", "--shard", "2"},
    };
    for (const auto &args : rows)
        EXPECT_EQ(run(args).code, 2) << (args.empty() ? "(nothing)" : args[0]);
}

TEST_F(Cli, HelpAndVersion) {
    EXPECT_EQ(run({"--version"}).out, "ombrel 1.0.0\n");
    for (const char *c : {"embed", "extract", "compare", "demo", "verify", "attack", "evaluate"}) {
        const Result r = run({c, "--help"});
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out.rfind(std::string("Usage: ombrel ") + c, 0), 0u) << c;
    }
    EXPECT_NE(run({"--help"}).out.find("Exit status"), std::string::npos);
    EXPECT_NE(run({"--help"}).out.find("3 verify found the image altered"), std::string::npos);
    EXPECT_NE(run({"verify", "--help"}).out.find("rightly reported intact"), std::string::npos);
}

TEST_F(Cli, FailedWriteKeepsTheExistingOutput) {
    const std::string out = dir.write("out.bmp", "previous");
    const Result r = run({"embed", cover, watermark, "-o", out, "--wavelet-picture",
                          dir.file("missing/w.bmp")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("missing/w.bmp"), std::string::npos);
    EXPECT_EQ(test::readFile(out), "previous");
}

TEST_F(Cli, CompareIdenticalAndDifferent) {
    const Result same = run({"compare", cover, cover});
    ASSERT_EQ(same.code, 0);
    EXPECT_NE(same.out.find("PSNR: inf"), std::string::npos);
    EXPECT_NE(same.out.find("MSE: 0.0000"), std::string::npos);
    EXPECT_NE(same.out.find("NC: 1.000000"), std::string::npos);
    EXPECT_NE(same.out.find("SSIM: 1.000000"), std::string::npos);
}

// Same width, other height: nothing is compared.
TEST_F(Cli, CompareRefusesAnotherHeight) {
    const std::string taller = dir.file("taller.bmp");
    ASSERT_TRUE(saveBitmap(test::randomImage(1024, 770, 4), taller));
    const Result r = run({"compare", cover, taller});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("is 1024x770"), std::string::npos) << r.err;
}

TEST_F(Cli, DemoWritesSamplesAndOutputs) {
    const std::string folder = dir.file("demo");
    const Result r = run({"demo", folder});
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char *f : {"cover.bmp", "watermark.bmp", "output.bmp", "wavlettransformresult.bmp",
                          "wavlettransformresultw2.bmp", "watermark-extracted.bmp"})
        EXPECT_TRUE(std::filesystem::exists(folder + "/" + f)) << f;
    EXPECT_NE(r.out.find("Extracted watermark against the original"), std::string::npos);
}

// The shipped samples are exactly what the generator draws.
TEST(Samples, CommittedFilesMatchTheGenerator) {
    const auto cover = loadBitmap(OMBREL_SOURCE_DIR "/samples/cover.bmp");
    const auto watermark = loadBitmap(OMBREL_SOURCE_DIR "/samples/watermark.bmp");
    ASSERT_TRUE(cover.ok() && watermark.ok());
    EXPECT_TRUE(*cover == sampleCover());
    EXPECT_TRUE(*watermark == sampleWatermark());
    Surface w(512, 512);
    w.load(*watermark);
    EXPECT_EQ(checkWatermark(512, 512, w).verdict, Verdict::Suitable);
}

} // namespace
} // namespace ombrel
