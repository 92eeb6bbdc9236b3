// SPDX-License-Identifier: Apache-2.0
#include "cli/cli.h"
#include "imaging/picture_in.h"
#include "imaging/picture_out.h"
#include "imaging/sample_images.h"
#include "stego/embedding.h"
#include "stego/extraction.h"
#include "stego/intake.h"
#include "support/bmp_builder.h"
#include "support/cli_run.h"
#include "support/cover_fixture.h"
#include "support/folder.h"
#include "support/reference.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace ombrel {
namespace {

using Result = test::RunResult;
using test::runCli;

// What the tool says when it is run without a command, or asked for help.
const std::string kHelp =
    "Usage: ombrel COMMAND [ARGUMENTS]\n"
    "Hides a 512x512 grey watermark in a 1024x768 colour picture, and extracts it again.\n"
    "Reads BMP, PNG, TIFF and PPM/PGM; writes the format an output's extension names.\n"
    "\n"
    "Commands:\n"
    "  embed COVER WATERMARK -o OUT   hide WATERMARK in COVER, write the watermarked image\n"
    "  extract IMAGE -o OUT           extract the watermark from a watermarked image\n"
    "  compare A B                    PSNR, MSE, normalised correlation and SSIM of two images\n"
    "  demo [DIR]                     run both on the sample images, into DIR\n"
    "  verify IMAGE --watermark W     does IMAGE still carry W unchanged? where not?\n"
    "  attack IMAGE [--watermark W]   what the mark survives: a table of attacks\n"
    "  evaluate COVER... -o DIR       mark, measure and attack many covers (--watermark W)\n"
    "  keygen FILE                    write a new key for keyed marks (--key-file FILE)\n"
    "  seal PICTURE -o OUT            seal a picture of any size as it is (--key-file KEY)\n"
    "  check PICTURE                  is a sealed picture unchanged? where not? (--key-file KEY)\n"
    "embed, extract, verify, seal and check also take many files in one call: see their\n"
    "--help.\n"
    "\n"
    "Options:\n"
    "  -h, --help      show this help, or a command's help after the command\n"
    "  --version       show the version\n"
    "\n"
    "Exit status: 0 done (verify: intact), 1 input refused or work failed, 2 usage error,\n"
    "3 verify or check found the image altered; 130, 143 or 129 a run over many files\n"
    "stopped by Ctrl-C, SIGTERM or SIGHUP.\n";

class Cli : public test::CoverAndWatermark {
protected:
    Cli() : CoverAndWatermark(3) {}
    void SetUp() override {
        keepLibraryNoiseOffStderr(); // as the tool's main does
        CoverAndWatermark::SetUp();
    }
    Image load(const std::string &path) { return *loadBitmap(path); }
};

TEST_F(Cli, EmbedAndExtractFollowTheReferenceBitForBit) {
    const std::string out = dir.file("out.bmp"), wav = dir.file("w1.bmp"), q = dir.file("w2.bmp");
    const Result r = runCli({"embed", cover, watermark, "-t", "3", "-o", out, "--wavelet-picture",
                          wav, "--quantised-picture=" + q});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Wrote " + out + "\nWrote " + wav + "\nWrote " + q +
                         "\nPSNR of the watermarked image against the cover: 56.51 dB\n");
    EXPECT_EQ(r.err, "");
    const test::ReferenceEmbed ref = test::referenceEmbed(load(cover), load(watermark), 3);
    EXPECT_TRUE(load(out) == ref.watermarked);
    EXPECT_TRUE(load(wav) == ref.firstPicture);
    EXPECT_TRUE(load(q) == ref.secondPicture);

    const std::string extracted = dir.file("x.bmp");
    const Result x = runCli({"extract", out, "--output", extracted});
    ASSERT_EQ(x.code, 0) << x.err;
    EXPECT_EQ(x.out, "Wrote " + extracted + "\n");
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
    const std::string coverSize =
        "The image is not 1024x768, please choose an image with 1024x768 dimensions";
    const std::string markSize = "The image is not 512x512, please choose an image with 512x512 dimensions";
    const std::string threshold = "The threshold value is not in range, or invalid, please enter a threshold "
                                  "value in the range (-255,255)";
    // A PNG signature and nothing after it: Qt gives up, and libpng says why.
    const std::string notAPicture = ": not a readable picture (Unable to read image data; libpng error: Read Error)";
    const Row rows[] = {
        {"cover size", {"embed", small, watermark, "-o", out},
         small + ": " + coverSize + "; --fit scales and crops a cover of any size"},
        {"watermark size", {"embed", cover, small, "-o", out},
         small + ": " + markSize + "; --fit scales and crops a watermark of any size"},
        {"watermark colour", {"embed", cover, colour, "-o", out},
         colour + ": The image is not grey scale (8 bit); --fit turns a colour watermark grey"},
        {"threshold range", {"embed", cover, watermark, "-t", "256", "-o", out}, threshold},
        {"threshold text", {"embed", cover, watermark, "-t", "abc", "-o", out}, threshold},
        {"extract size", {"extract", small, "-o", out}, small + ": " + coverSize},
        {"not a picture", {"extract", png, "-o", out}, png + notAPicture},
        {"missing file", {"compare", dir.file("nope.bmp"), cover}, dir.file("nope.bmp") + ": no such file"},
        {"sizes differ", {"compare", cover, watermark},
         "the images differ in size: " + cover + " is 1024x768, " + watermark + " is 512x512"},
        {"verify size", {"verify", small, "--watermark", watermark}, small + ": " + coverSize},
        {"verify not a picture", {"verify", png, "--watermark", watermark}, png + notAPicture},
        {"verify watermark colour", {"verify", cover, "--watermark", colour},
         colour + ": The image is not grey scale (8 bit)"},
        {"verify threshold", {"verify", cover, "--watermark", watermark, "-t", "300", "--map", out},
         threshold},
        {"attack size", {"attack", small, "--watermark", watermark, "--csv", out}, small + ": " + coverSize},
        {"attack missing", {"attack", dir.file("nope.bmp"), "--csv", out},
         dir.file("nope.bmp") + ": no such file"},
        {"evaluate threshold", {"evaluate", cover, "--watermark", watermark, "-t", "0,x", "-o", out},
         threshold},
        {"evaluate watermark", {"evaluate", cover, "--watermark", small, "-o", out},
         small + ": " + markSize + "; --fit scales and crops a watermark of any size"},
    };
    for (const Row &r : rows) {
        const Result res = runCli(r.args);
        EXPECT_EQ(res.code, 1) << r.name;
        EXPECT_EQ(res.err, r.message + "\n") << r.name << ": one line";
        EXPECT_EQ(res.out, "") << r.name;
        EXPECT_FALSE(std::filesystem::exists(out)) << r.name << ": nothing written";
    }
}

// A usage error names what is wrong on its first line, then shows the help
// of the command (the tool's own help without one).
TEST_F(Cli, UsageErrors) {
    struct Row {
        const char *name;
        std::vector<std::string> args;
        std::string said; // the first line of stderr
    };
    const Row rows[] = {
        {"no command", {}, "Usage: ombrel COMMAND [ARGUMENTS]"},
        {"unknown command", {"frobnicate"}, "ombrel: unknown command 'frobnicate'"},
        {"embed without watermark", {"embed", cover}, "ombrel embed: embed needs COVER and WATERMARK"},
        {"embed without output", {"embed", cover, watermark}, "ombrel embed: embed needs -o OUT"},
        {"output without value", {"embed", cover, watermark, "-o"}, "ombrel embed: option -o needs a value"},
        {"unknown option", {"embed", cover, watermark, "--colour", "red", "-o", "x.bmp"},
         "ombrel embed: unknown option --colour"},
        {"extract without image", {"extract"}, "ombrel extract: extract needs IMAGE"},
        {"compare one image", {"compare", cover}, "ombrel compare: compare needs A and B"},
        {"demo two folders", {"demo", "a", "b"}, "ombrel demo: demo takes at most one folder"},
        {"verify without watermark", {"verify", cover}, "ombrel verify: verify needs --watermark W"},
        {"verify without image", {"verify", "--watermark", watermark}, "ombrel verify: verify needs IMAGE"},
        {"quiet with a value", {"verify", cover, "--watermark", watermark, "--quiet=yes"},
         "ombrel verify: option --quiet takes no value"},
        {"quiet is verify's", {"extract", cover, "-o", "x.bmp", "--quiet"}, "ombrel extract: unknown option --quiet"},
        {"chart without watermark", {"attack", cover, "--chart", "c.png"},
         "ombrel attack: --chart needs --watermark"},
        {"evaluate without output", {"evaluate", cover, "--watermark", watermark},
         "ombrel evaluate: evaluate needs -o DIR"},
        {"evaluate without watermark", {"evaluate", cover, "-o", "dir"},
         "ombrel evaluate: evaluate needs --watermark W"},
        {"no jobs", {"evaluate", cover, "--watermark", watermark, "-o", "dir", "-j", "0"},
         "ombrel evaluate: -j must be a whole number from 1: 0"},
        {"shard past its count", {"evaluate", cover, "--watermark", watermark, "-o", "dir", "--shard", "3/2"},
         "ombrel evaluate: --shard K/N needs K from 1 to N"},
        {"shard zero", {"evaluate", cover, "--watermark", watermark, "-o", "dir", "--shard", "0/2"},
         "ombrel evaluate: K of --shard must be a whole number from 1: 0"},
        {"shard without count", {"evaluate", cover, "--watermark", watermark, "-o", "dir", "--shard", "2"},
         "ombrel evaluate: --shard needs K/N"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const Result r = runCli(row.args);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.out, "");
        const std::string first = r.err.substr(0, r.err.find('\n'));
        EXPECT_EQ(first, row.said);
        // Every row but the first two names a command.
        const bool command = !row.args.empty() && row.args[0] != "frobnicate";
        const std::string help = command ? runCli({row.args[0], "--help"}).out : kHelp;
        EXPECT_EQ(row.args.empty() ? r.err : r.err.substr(first.size() + 1), help);
    }
}

TEST_F(Cli, HelpAndVersion) {
    EXPECT_EQ(runCli({"--version"}).out, "ombrel 1.0.0\n");
    EXPECT_EQ(runCli({"--help"}).out, kHelp);
    EXPECT_EQ(runCli({"-h"}).out, kHelp);
    // Each command's help starts with its whole usage line.
    const std::pair<const char *, const char *> usages[] = {
        {"embed", "Usage: ombrel embed COVER WATERMARK [-t N] [--fit] -o OUT [--wavelet-picture FILE]"},
        {"extract", "Usage: ombrel extract IMAGE -o OUT"},
        {"compare", "Usage: ombrel compare A B"},
        {"demo", "Usage: ombrel demo [DIR]"},
        {"verify", "Usage: ombrel verify IMAGE --watermark W [-t N] [--map MAP] [--csv FILE]"},
        {"attack", "Usage: ombrel attack IMAGE [--watermark W [-t N]] [--csv FILE] [--chart PNG]"},
        {"evaluate", "Usage: ombrel evaluate COVER... --watermark W [-t LIST] [--fit] -o DIR [-j N]"},
        {"keygen", "Usage: ombrel keygen FILE"},
        {"seal", "Usage: ombrel seal PICTURE -o OUT KEY [--id TEXT | --id-from-name]"},
        {"check", "Usage: ombrel check PICTURE KEY [--id TEXT | --id-from-name] [--map MAP]"},
    };
    for (const auto &[command, usage] : usages) {
        const Result r = runCli({command, "--help"});
        EXPECT_EQ(r.code, 0) << command;
        EXPECT_EQ(r.out.substr(0, r.out.find('\n')), usage) << command;
        EXPECT_EQ(r.err, "") << command;
    }
    const std::string verify = runCli({"verify", "--help"}).out;
    EXPECT_NE(verify.find("\nimage is rightly reported intact for it.\n"), std::string::npos) << verify;
    EXPECT_NE(verify.find("\n  --quiet             print the verdict line alone (with several images, a\n"),
              std::string::npos)
        << verify;
}

// --quiet: the verdict line and nothing else on stdout, whatever else is
// written; a picture that cannot be read still says why on stderr.
TEST_F(Cli, VerifyQuietPrintsTheVerdictAlone) {
    const std::string marked = dir.file("marked.bmp"), touched = dir.file("touched.bmp");
    ASSERT_EQ(runCli({"embed", cover, watermark, "-o", marked}).code, 0);
    Image image = load(marked);
    image.at(400, 300) ^= 0x000001;
    ASSERT_TRUE(saveBitmap(image, touched));
    const std::string map = dir.file("map.bmp"), csv = dir.file("v.csv"), missing = dir.file("missing.bmp");
    test::expectQuietVerdicts({
        {"intact", {marked}, 0, "intact\n"},
        {"altered", {touched}, 3, "altered\n"},
        {"with a map and a CSV", {touched, "--map", map, "--csv", csv}, 3, "altered\n"},
        {"many", {marked, touched, "-j", "1"}, 3, marked + ": intact\n" + touched + ": altered\n"},
    }, watermark);
    EXPECT_TRUE(std::filesystem::exists(map));
    EXPECT_EQ(test::readFile(csv), "image,verdict,bits_compared,bits_differing,blocks_altered,box\n" + touched +
                                       ",altered,868035,1,1,\"x 400..407, y 296..303\"\n");
    const Result unread = runCli({"verify", missing, "--watermark", watermark, "--quiet"});
    EXPECT_EQ(unread.code, 1);
    EXPECT_EQ(unread.out, "");
    EXPECT_NE(unread.err.find(missing), std::string::npos) << unread.err;
}

TEST_F(Cli, FailedWriteKeepsTheExistingOutput) {
    const std::string out = dir.write("out.bmp", "previous");
    const Result r = runCli({"embed", cover, watermark, "-o", out, "--wavelet-picture",
                             dir.file("missing/w.bmp")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, dir.file("missing/w.bmp") + ": cannot be written: No such file or directory\n");
    EXPECT_EQ(test::readFile(out), "previous");
}

TEST_F(Cli, CompareIdenticalAndDifferent) {
    const Result same = runCli({"compare", cover, cover});
    ASSERT_EQ(same.code, 0);
    EXPECT_EQ(same.out, "PSNR: inf dB (identical)\nMSE: 0.0000\nNC: 1.000000\nSSIM: 1.000000\n");
    const std::string marked = dir.file("marked.bmp");
    ASSERT_EQ(runCli({"embed", cover, watermark, "-t", "3", "-o", marked}).code, 0);
    const Result other = runCli({"compare", cover, marked});
    ASSERT_EQ(other.code, 0) << other.err;
    EXPECT_EQ(other.out, "PSNR: 56.51 dB\nMSE: 0.1452\nNC: 0.999997\nSSIM: 0.999975\n");
}

// Same width, other height: nothing is compared.
TEST_F(Cli, CompareRefusesAnotherHeight) {
    const std::string taller = dir.file("taller.bmp");
    ASSERT_TRUE(saveBitmap(test::randomImage(1024, 770, 4), taller));
    const Result r = runCli({"compare", cover, taller});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "the images differ in size: " + cover + " is 1024x768, " + taller + " is 1024x770\n");
    EXPECT_EQ(r.out, "");
}

TEST_F(Cli, DemoWritesSamplesAndOutputs) {
    const std::string folder = dir.file("demo");
    const Result r = runCli({"demo", folder});
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char *f : {"cover.bmp", "watermark.bmp", "output.bmp", "wavlettransformresult.bmp",
                          "wavlettransformresultw2.bmp", "watermark-extracted.bmp"})
        EXPECT_TRUE(std::filesystem::exists(folder + "/" + f)) << f;
    EXPECT_EQ(r.out, "Wrote " + folder + "/cover.bmp\n"
                     "Wrote " + folder + "/watermark.bmp\n"
                     "Wrote " + folder + "/output.bmp\n"
                     "Wrote " + folder + "/wavlettransformresult.bmp\n"
                     "Wrote " + folder + "/wavlettransformresultw2.bmp\n"
                     "Wrote " + folder + "/watermark-extracted.bmp\n"
                     "Watermarked image against the cover:\n"
                     "  PSNR: 56.42 dB\n"
                     "  MSE: 0.1483\n"
                     "  NC: 0.999994\n"
                     "Extracted watermark against the original:\n"
                     "  PSNR: 25.61 dB\n"
                     "  MSE: 178.8137\n"
                     "  NC: 0.997318\n");
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
