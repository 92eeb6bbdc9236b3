// SPDX-License-Identifier: Apache-2.0
#include "cli/attacks.h"
#include "cli/cli.h"
#include "imaging/picture_in.h"
#include "imaging/picture_out.h"
#include "imaging/sample_images.h"
#include "stego/embedding.h"
#include "stego/verify.h"
#include "support/bmp_builder.h"
#include "support/cli_run.h"
#include "support/cover_fixture.h"
#include "support/folder.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <set>
#include <sstream>

namespace ombrel {
namespace {

using Result = test::RunResult;
using test::lines;
using test::runCli;

using test::linesOf;

const std::vector<std::string> kAttackNames = {
    "none",     "jpeg-90",      "jpeg-75", "jpeg-50",    "noise-2",       "noise-5",  "saltpepper-1",
    "cut-25",   "rescale-50",   "rotate-1", "brightness-10", "median-3", "lsb-flip",
    "fill-zero", "fill-random", "copy-move", "text"};

class Judge : public test::CoverAndWatermark {
protected:
    Judge() : CoverAndWatermark(21) {}
    void SetUp() override {
        CoverAndWatermark::SetUp();
        marked = dir.file("marked.bmp");
        ASSERT_EQ(runCli({"embed", cover, watermark, "-o", marked}).code, 0);
    }
    std::string marked;
};

TEST_F(Judge, VerifyVerdictsAndExitStatus) {
    const std::string other = dir.file("other.bmp");
    ASSERT_TRUE(saveBitmap(test::randomImage(512, 512, 5, true), other));
    struct Row {
        const char *name;
        std::vector<std::string> args;
        int code;
        const char *verdict;
    };
    const Row rows[] = {
        {"fresh mark", {"verify", marked, "--watermark", watermark}, 0, "intact"},
        {"threshold 40", {"verify", marked, "--watermark", watermark, "-t", "40"}, 3, "altered"},
        {"noise as watermark", {"verify", marked, "--watermark", other}, 3, "altered"},
        {"the cover", {"verify", cover, "--watermark", watermark}, 3, "altered"},
    };
    for (const Row &row : rows) {
        const Result r = runCli(row.args);
        EXPECT_EQ(r.code, row.code) << row.name << r.err;
        ASSERT_FALSE(r.out.empty()) << row.name;
        EXPECT_EQ(linesOf(r.out).back(), row.verdict) << row.name;
        EXPECT_NE(r.out.find("Bits compared: 868035\n"), std::string::npos) << row.name;
    }
    const Result fresh = runCli(rows[0].args);
    EXPECT_NE(fresh.out.find("Bits differing: 0 (0.00 %)\n"), std::string::npos);
    EXPECT_EQ(fresh.out.find("Altered area"), std::string::npos);
}

TEST_F(Judge, VerifyWritesATamperMapOfTheImagesSize) {
    Image tampered = *loadBitmap(marked);
    tampered.at(400, 300) ^= 0x000100; // green bit of coefficient (201, 172)
    const std::string path = dir.file("tampered.bmp"), map = dir.file("map.bmp");
    ASSERT_TRUE(saveBitmap(tampered, path));
    const Result r = runCli({"verify", path, "--watermark", watermark, "--map", map});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.out.find("Bits differing: 1 (0.00 %)\nPixels with a differing bit: 1\n"
                         "Altered 8x8 blocks: 1 of "),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Altered area: x 400..407, y 296..303\n"), std::string::npos) << r.out;
    const auto picture = loadBitmap(map);
    ASSERT_TRUE(picture.ok());
    EXPECT_EQ(picture->width, 1024);
    EXPECT_EQ(picture->height, 768);
}

// A lossy round trip rewrites nearly every low bit the mark lives in.
TEST_F(Judge, JpegRoundTripIsAlteredAlmostEverywhere) {
    const Image image = *loadBitmap(marked);
    const MarkBits mark(surfaceOf(sampleWatermark()), 0);
    for (const cli::Attack &a : cli::attacks()) {
        if (a.name != "jpeg-90")
            continue;
        const MarkReport r = verifyMark(a.apply(image), mark);
        EXPECT_GT(r.blocksAltered, r.blocksChecked * 95 / 100);
        EXPECT_GT(r.differingShare(), 0.3);
    }
}

TEST(Attacks, EachDoesWhatItsNameSays) {
    const Image grey(32, 32, rgb(100, 100, 100));
    ASSERT_EQ(cli::attacks().size(), kAttackNames.size());
    for (std::size_t i = 0; i < kAttackNames.size(); ++i) {
        const cli::Attack &a = cli::attacks()[i];
        EXPECT_EQ(a.name, kAttackNames[i]);
        const Image out = a.apply(grey);
        EXPECT_EQ(out.width, 32) << a.name;
        EXPECT_EQ(out.height, 32) << a.name;
        EXPECT_TRUE(out == a.apply(grey)) << a.name << " is deterministic";
    }
    auto apply = [](std::string_view name, const Image &image) {
        for (const cli::Attack &a : cli::attacks())
            if (a.name == name)
                return a.apply(image);
        return Image();
    };
    const auto channelRange = [](const Image &image) {
        int lo = 255, hi = 0;
        for (ColourWord p : image.pixels)
            for (int v : {split(p).red, split(p).green, split(p).blue}) {
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
        return std::pair{lo, hi};
    };
    EXPECT_TRUE(apply("none", grey) == grey);
    EXPECT_TRUE(apply("brightness-10", grey) == Image(32, 32, rgb(110, 110, 110)));
    EXPECT_TRUE(apply("brightness-10", Image(2, 2, rgb(250, 3, 246))) == Image(2, 2, rgb(255, 13, 255)));
    EXPECT_TRUE(apply("lsb-flip", Image(2, 2, rgb(100, 7, 255))) == Image(2, 2, rgb(101, 6, 254)));
    EXPECT_TRUE(apply("median-3", grey) == grey);
    for (const char *smooth : {"jpeg-90", "jpeg-50", "rescale-50"}) {
        const auto [lo, hi] = channelRange(apply(smooth, grey));
        EXPECT_GE(lo, 98) << smooth;
        EXPECT_LE(hi, 102) << smooth;
    }
    const auto [lo, hi] = channelRange(apply("noise-5", grey));
    EXPECT_LT(lo, 95);
    EXPECT_GT(hi, 105);

    const Image cut = apply("cut-25", grey);
    EXPECT_EQ(cut.at(15, 15), 0);
    EXPECT_EQ(cut.at(16, 15), rgb(100, 100, 100));
    EXPECT_EQ(cut.at(15, 16), rgb(100, 100, 100));
    EXPECT_EQ(std::count(cut.pixels.begin(), cut.pixels.end(), 0), 256);

    const Image rotated = apply("rotate-1", Image(200, 100, rgb(100, 100, 100)));
    EXPECT_EQ(rotated.at(199, 0), 0) << "a black corner";
    EXPECT_EQ(rotated.at(100, 50), rgb(100, 100, 100));

    // A 3x3 median removes a lone dot.
    Image dot = grey;
    dot.at(10, 10) = rgb(255, 0, 255);
    EXPECT_TRUE(apply("median-3", dot) == grey);

    const Image sp = apply("saltpepper-1", Image(100, 100, rgb(100, 100, 100)));
    const auto changed = std::count_if(sp.pixels.begin(), sp.pixels.end(),
                                       [](ColourWord p) { return p != rgb(100, 100, 100); });
    EXPECT_GE(changed, 90);
    EXPECT_LE(changed, 100);
    for (ColourWord p : sp.pixels)
        EXPECT_TRUE(p == 0 || p == rgb(255, 255, 255) || p == rgb(100, 100, 100));
}

// Of the 868035 carried bits, flipping every lowest bit leaves only the upper
// bit of each two-bit pair of the approximation rows: 128 * 43 * 4 * 3 = 66048.
TEST_F(Judge, AttackTableAndCsv) {
    const std::string csv = dir.file("a.csv"), keep = dir.file("kept");
    const Result r = runCli({"attack", marked, "--watermark", watermark, "--csv", csv, "--keep", keep});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto table = linesOf(r.out);
    ASSERT_EQ(table.size(), 2 + kAttackNames.size()) << r.out;
    EXPECT_EQ(table[0], "| attack | PSNR (dB) | NC | bits agreeing | tamper precision | tamper recall |");
    EXPECT_EQ(table[2].rfind("| none | inf | ", 0), 0u) << table[2];
    EXPECT_NE(table[2].find("| 100.00 % |"), std::string::npos) << table[2];
    EXPECT_EQ(table[2 + 12].rfind("| lsb-flip | ", 0), 0u) << table[2 + 12];
    EXPECT_NE(table[2 + 12].find("| 7.61 % |  |  |"), std::string::npos) << "no tamper scores: " << table[2 + 12];
    // Random pixels change nearly every carried bit of the region, and nothing else.
    EXPECT_EQ(table[2 + 14].rfind("| fill-random | ", 0), 0u) << table[2 + 14];
    EXPECT_NE(table[2 + 14].find("| 1.000 | 1.000 |"), std::string::npos) << table[2 + 14];
    const auto rows = linesOf(test::readFile(csv));
    ASSERT_EQ(rows.size(), 1 + kAttackNames.size());
    EXPECT_EQ(rows[0], "attack,psnr_db,nc,bits_agreeing,tamper_precision,tamper_recall");
    EXPECT_EQ(rows[13].rfind("lsb-flip,", 0), 0u) << rows[13];
    EXPECT_EQ(rows[13].substr(rows[13].size() - 2), ",,") << "empty for an attack that is no tamper";
    for (std::size_t i = 0; i < kAttackNames.size(); ++i) {
        EXPECT_EQ(rows[i + 1].rfind(kAttackNames[i] + ",", 0), 0u) << rows[i + 1];
        const bool jpeg = kAttackNames[i].rfind("jpeg-", 0) == 0;
        const std::string kept = keep + "/" + kAttackNames[i] + (jpeg ? ".jpg" : ".bmp");
        EXPECT_EQ(test::readFile(kept).rfind(jpeg ? "\xff\xd8" : "BM", 0), 0u) << kept;
    }
    // The kept JPEG decodes to the very pixels the table measured.
    const std::string jpegRow = table[2 + 2]; // none, jpeg-90, jpeg-75
    ASSERT_EQ(jpegRow.rfind("| jpeg-75 | ", 0), 0u) << jpegRow;
    const Result kept = runCli({"compare", marked, keep + "/jpeg-75.jpg"});
    ASSERT_EQ(kept.code, 0) << kept.err;
    EXPECT_EQ(linesOf(kept.out)[0], "PSNR: " + jpegRow.substr(12, jpegRow.find(" |", 12) - 12) + " dB");
    EXPECT_NE(rows[13].find(",0.076089,"), std::string::npos) << rows[13];

    const Result plain = runCli({"attack", marked});
    ASSERT_EQ(plain.code, 0);
    EXPECT_EQ(linesOf(plain.out)[2], "| none | inf | - | - |  |  |");
}

TEST_F(Judge, AttackChartIsAPng) {
    const std::string chart = dir.file("nc.png");
    ASSERT_EQ(runCli({"attack", marked, "--watermark", watermark, "--chart", chart}).code, 0);
    EXPECT_EQ(test::readFile(chart).substr(0, 8), "\x89PNG\r\n\x1a\n");

    const std::string nowhere = dir.file("missing/nc.png");
    const Result r = runCli({"attack", marked, "--watermark", watermark, "--chart", nowhere});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, nowhere + ": cannot write the chart: No such file or directory\n");
}

// The tool itself, in a process of its own: it draws through the chart module
// beside it, and a copy of it alone in a folder says what is missing and
// leaves no file behind.
TEST_F(Judge, ToolLoadsItsChartModuleOrSaysWhyNot) {
    const std::string lone = dir.file("lone");
    std::filesystem::create_directory(lone);
    std::filesystem::copy_file(OMBREL_BINARY, lone + "/ombrel");
    struct Row {
        std::string tool;
        int code;
        std::string err; // the whole of stderr
    };
    const std::string chart = dir.file("charts/nc.png");
    std::filesystem::create_directory(dir.file("charts"));
    for (const Row &row :
         {Row{OMBREL_BINARY, 0, ""},
          Row{lone + "/ombrel", 1,
              chart + ": cannot draw the chart: the chart module libombrel_charts.so was not found "
                      "beside the tool or in " +
                      (std::filesystem::canonical(dir.path()) / "lib/ombrel").string() + "\n"}}) {
        const std::string csv = dir.file("charts/nc.csv");
        const Result r = test::runProgram(
            row.tool, {"attack", marked, "--watermark", watermark, "--chart", chart, "--csv", csv});
        EXPECT_EQ(r.code, row.code) << row.tool;
        EXPECT_EQ(r.err, row.err) << row.tool;
        if (row.code == 0) {
            EXPECT_EQ(test::readFile(chart).substr(0, 8), "\x89PNG\r\n\x1a\n");
            std::filesystem::remove(chart);
            std::filesystem::remove(csv);
        }
        EXPECT_TRUE(std::filesystem::is_empty(dir.file("charts"))) << row.tool << ": a file was left";
    }
    // evaluate ends in a chart too: without the module it says so before any
    // cover is attacked, and makes no folder.
    const std::string out = dir.file("evaluated");
    const Result r =
        test::runProgram(lone + "/ombrel", {"evaluate", marked, "--watermark", watermark, "-o", out});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.rfind(out + "/chart.png: cannot draw the chart: the chart module", 0), 0u) << r.err;
    EXPECT_FALSE(std::filesystem::exists(out));
}

// Two usable covers, one of the wrong size and one that is no bitmap; the
// two shards together hold exactly the rows of the whole run.
TEST_F(Judge, EvaluateSkipsBadCoversAndShardsSplitTheRun) {
    const std::string folder = dir.file("covers");
    std::filesystem::create_directory(folder);
    ASSERT_TRUE(saveBitmap(test::randomImage(1024, 768, 22), folder + "/b.bmp"));
    ASSERT_TRUE(saveBitmap(test::randomImage(1024, 768, 23), folder + "/a.bmp"));
    ASSERT_TRUE(saveBitmap(test::randomImage(64, 48, 24), folder + "/small.bmp"));
    dir.write("covers/broken.bmp", "BM-not-really");
    dir.write("covers/notes.txt", "not a cover");

    const std::string whole = dir.file("whole");
    const Result r = runCli({"evaluate", folder, "--watermark", watermark, "-o", whole, "-j", "2"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("skipped " + folder + "/small.bmp: The image is not 1024x768"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("skipped " + folder + "/broken.bmp: "), std::string::npos) << r.err;
    EXPECT_EQ(linesOf(r.err).size(), 2u) << r.err;
    const auto rows = linesOf(test::readFile(whole + "/results.csv"));
    // Each of the two covers has its collage from the other: a row more each.
    ASSERT_EQ(rows.size(), 1 + 2 * (kAttackNames.size() + 1));
    EXPECT_EQ(rows[0], "cover,threshold,embed_psnr_db,embed_ssim,attack,attack_psnr_db,nc,"
                       "bits_agreeing,tamper_precision,tamper_recall");
    EXPECT_EQ(rows[1].rfind(folder + "/a.bmp,0,", 0), 0u) << "sorted by path: " << rows[1];
    EXPECT_NE(rows[1].find(",none,inf,"), std::string::npos) << rows[1];
    EXPECT_NE(rows[1].find(",1.000000"), std::string::npos) << "every bit agrees: " << rows[1];
    EXPECT_NE(test::readFile(whole + "/summary.md").find("| lsb-flip | "), std::string::npos);
    EXPECT_EQ(test::readFile(whole + "/chart.png").substr(0, 4), "\x89PNG");

    // Sorted: a.bmp, b.bmp, broken.bmp, small.bmp; shard K takes K, K + 3.
    struct Shard {
        const char *shardArg;
        const char *first; // the cover of its first row, or none
    };
    std::multiset<std::string> joined;
    for (const Shard shard : {Shard{"1/3", "/a.bmp,"}, Shard{"2/3", "/b.bmp,"}, Shard{"3/3", nullptr}}) {
        const std::string out = dir.file(std::string("shard") + shard.shardArg[0]);
        const Result s =
            runCli({"evaluate", folder, "--watermark", watermark, "-o", out, "--shard", shard.shardArg});
        ASSERT_EQ(s.code, 0) << shard.shardArg << s.err;
        const auto part = linesOf(test::readFile(out + "/results.csv"));
        EXPECT_EQ(part[0], rows[0]);
        if (shard.first) {
            ASSERT_EQ(part.size(), 1 + kAttackNames.size() + 1) << shard.shardArg;
            EXPECT_EQ(part[1].rfind(folder + shard.first, 0), 0u) << shard.shardArg << ": " << part[1];
        } else {
            EXPECT_EQ(part.size(), 1u) << shard.shardArg;
        }
        joined.insert(part.begin() + 1, part.end());
    }
    EXPECT_EQ(joined, std::multiset<std::string>(rows.begin() + 1, rows.end()));

    // A shard past the last cover is an empty share, not a failure.
    const std::string beyond = dir.file("shard5");
    const Result e = runCli({"evaluate", folder, "--watermark", watermark, "-o", beyond, "--shard", "5/5"});
    ASSERT_EQ(e.code, 0) << e.err;
    EXPECT_EQ(linesOf(test::readFile(beyond + "/results.csv")), std::vector<std::string>{rows[0]});
}

// Ctrl-C: the tool itself, in a process of its own, over more covers than it
// can finish; it stops after the cover under way and keeps the finished rows.
// Its progress on a terminal says when the first cover is done.
TEST_F(Judge, EvaluateInterruptedKeepsTheFinishedRows) {
    const std::string folder = dir.file("many"), out = dir.file("out"), said = dir.file("said.txt");
    std::filesystem::create_directory(folder);
    for (int i = 0; i < 40; ++i)
        std::filesystem::create_hard_link(cover, folder + "/c" + std::to_string(100 + i) + ".bmp");
    test::Child tool = test::Child::onTerminal(
        OMBREL_BINARY, {"evaluate", folder, "--watermark", watermark, "-o", out, "-j", "1"}, said);
    ASSERT_TRUE(tool.waitToShow("] 1/40 ", std::chrono::minutes(2))) << tool.screen();
    tool.signal(SIGINT);
    const test::Ending end = tool.wait();
    ASSERT_TRUE(end.exited) << "ended by signal " << end.status;
    EXPECT_EQ(end.status, 130);

    const auto rows = linesOf(test::readFile(out + "/results.csv"));
    // Every cover has its collage from the next: a row more than the attacks.
    const std::size_t perCover = kAttackNames.size() + 1;
    ASSERT_GE(rows.size(), 1 + perCover) << "the first cover's rows are kept";
    EXPECT_EQ(rows[0], "cover,threshold,embed_psnr_db,embed_ssim,attack,attack_psnr_db,nc,bits_agreeing,"
                       "tamper_precision,tamper_recall");
    EXPECT_EQ((rows.size() - 1) % perCover, 0u) << "whole covers only";
    const std::size_t finished = (rows.size() - 1) / perCover;
    EXPECT_LT(finished, 40u);
    const std::string csv = out + "/results.csv";
    // The last progress line is cleared for the word of the interruption.
    const std::string &screen = tool.screen();
    EXPECT_EQ(screen.substr(screen.rfind("\033[K") + 3),
              "interrupted: " + std::to_string(finished) + " of 40 covers finished; " + csv +
                  " holds their rows\n")
        << screen;
    EXPECT_EQ(test::readFile(said), "Evaluated " + std::to_string(finished) + " of 40 covers, " +
                                        std::to_string(rows.size() - 1) + " rows\nWrote " + csv +
                                        "\nWrote " + out + "/summary.md\nWrote " + out + "/chart.png\n");
}

} // namespace
} // namespace ombrel
