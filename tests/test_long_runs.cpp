// SPDX-License-Identifier: Apache-2.0
// evaluate over a run that is killed, stopped and resumed: the real tool in
// processes of its own, against an uninterrupted run of the same covers.
#include "imaging/picture_out.h"
#include "imaging/sample_images.h"
#include "support/bmp_builder.h"
#include "support/cover_fixture.h"
#include "support/cli_run.h"
#include "support/folder.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <memory>
#include <set>

#include <unistd.h>

namespace ombrel {
namespace {

using test::linesOf;
using test::readFile;

// Rows a cover at one threshold: the attacks, and the collage from the next cover.
constexpr std::size_t kAttacks = 18;
constexpr std::size_t kCovers = 6;
const std::string kHeader =
    "cover,threshold,embed_psnr_db,embed_ssim,attack,attack_psnr_db,nc,bits_agreeing,"
    "tamper_precision,tamper_recall";

// Rows in a table as it stands: complete lines after the header.
std::size_t rowsIn(const std::string &csv) {
    const std::string text = readFile(csv);
    return std::max<std::ptrdiff_t>(0, std::count(text.begin(), text.end(), '\n') - 1);
}

// Six different covers and the table an uninterrupted run makes of them,
// shared by the tests: a run costs seconds.
class LongRun : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = std::make_unique<test::TempDir>();
        const test::Dataset data = test::writeDataset(*dir, kCovers, 40);
        folder = data.folder;
        watermark = data.watermark;
        const auto r = test::runCli({"evaluate", folder, "--watermark", watermark, "-o",
                                     dir->file("whole"), "-j", "2"});
        ASSERT_EQ(r.code, 0) << r.err;
        whole = readFile(dir->file("whole/results.csv"));
    }
    static void TearDownTestSuite() { dir.reset(); }

    std::vector<std::string> evaluate(const std::string &out) const {
        return {"evaluate", folder, "--watermark", watermark, "-o", out, "-j", "2"};
    }
    static std::vector<std::string> wholeRows() {
        const auto all = linesOf(whole);
        return {all.begin() + 1, all.end()};
    }

    static inline std::unique_ptr<test::TempDir> dir;
    static inline std::string folder, watermark, whole;
    test::TempDir here;
};

// Killed part-way, with SIGKILL (nothing can be caught) and with SIGTERM
// (the run stops after the covers under way and writes everything): each
// leaves whole covers that are rows of the uninterrupted run, and --resume
// then makes the very table that run made.
TEST_F(LongRun, KilledRunKeepsWholeCoversAndResumeCompletesIt) {
    ASSERT_EQ(linesOf(whole).size(), 1 + kCovers * kAttacks);
    const auto all = wholeRows();
    const std::set<std::string> expected(all.begin(), all.end());
    struct Row {
        const char *name;
        int signal;
        bool exits; // with a status of its own, after writing the summary
    };
    for (const Row row : {Row{"SIGKILL", SIGKILL, false}, Row{"SIGTERM", SIGTERM, true}}) {
        SCOPED_TRACE(row.name);
        const std::string out = here.file(row.name), csv = out + "/results.csv";
        const std::string said = here.file(std::string(row.name) + ".out"),
                          errors = here.file(std::string(row.name) + ".err");
        test::Child tool = test::Child::start(OMBREL_BINARY, evaluate(out), said, errors);
        ASSERT_TRUE(test::waitUntil([&] { return rowsIn(csv) >= 2 * kAttacks; }, std::chrono::minutes(2)))
            << readFile(errors);
        tool.signal(row.signal);
        const test::Ending end = tool.wait();
        EXPECT_EQ(end.exited, row.exits) << end.status;
        EXPECT_EQ(end.status, row.exits ? 143 : SIGKILL);

        const auto lines = linesOf(readFile(csv));
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0], kHeader);
        const std::size_t rows = lines.size() - 1;
        EXPECT_EQ(rows % kAttacks, 0u) << "whole covers only";
        EXPECT_LT(rows, kCovers * kAttacks) << "killed part-way";
        std::set<std::string> left;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            EXPECT_TRUE(expected.count(lines[i])) << "a row of the uninterrupted run: " << lines[i];
            EXPECT_TRUE(left.insert(lines[i]).second) << "once: " << lines[i];
        }
        const std::size_t finished = rows / kAttacks;
        if (row.exits) {
            // In the covers' order, as the uninterrupted run wrote them.
            std::vector<std::string> inOrder;
            for (const std::string &l : wholeRows())
                if (left.count(l))
                    inOrder.push_back(l);
            EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), inOrder);
            EXPECT_EQ(linesOf(readFile(said))[0],
                      "Evaluated " + std::to_string(finished) + " of 6 covers, " + std::to_string(rows) + " rows");
            EXPECT_EQ(readFile(errors), "terminated: " + std::to_string(finished) + " of 6 covers finished; " +
                                            csv + " holds their rows\n");
            EXPECT_NE(readFile(out + "/summary.md").find(std::to_string(finished) + " covers evaluated."),
                      std::string::npos);
            EXPECT_EQ(readFile(out + "/chart.png").substr(0, 4), "\x89PNG");
        } else {
            EXPECT_FALSE(std::filesystem::exists(out + "/summary.md"));
        }

        const test::RunResult resumed = test::runProgram(OMBREL_BINARY, [&] {
            auto args = evaluate(out);
            args.push_back("--resume");
            return args;
        }());
        ASSERT_EQ(resumed.code, 0) << resumed.err;
        EXPECT_EQ(linesOf(resumed.out)[0], "Evaluated 6 of 6 covers (" + std::to_string(finished) +
                                               " kept from before), 108 rows");
        EXPECT_EQ(readFile(csv), whole) << "byte for byte the uninterrupted run's table";
        EXPECT_NE(readFile(out + "/summary.md").find("6 covers evaluated."), std::string::npos);
    }
}

// A table left in finishing order, with a cover cut short, a cover missing
// and a last line the writer never finished: the resume keeps the whole
// covers, does the others again and writes every row once, in order.
TEST_F(LongRun, ResumeRedoesCoversCutShort) {
    const auto rows = wholeRows();
    auto cover = [&](std::size_t c) {
        return std::vector<std::string>(rows.begin() + c * kAttacks, rows.begin() + (c + 1) * kAttacks);
    };
    std::string table = kHeader + "\n";
    for (std::size_t c : {3u, 0u, 5u, 1u})
        for (const std::string &r : cover(c))
            table += r + "\n";
    for (std::size_t i = 0; i < 8; ++i) // c2 cut short
        table += cover(2)[i] + "\n";
    table += cover(4)[0].substr(0, 30); // c4 begun, never finished
    const std::string out = here.file("out");
    std::filesystem::create_directory(out);
    here.write("out/results.csv", table);

    auto args = evaluate(out);
    args.push_back("--resume");
    const test::RunResult r = test::runCli(args);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(linesOf(r.out)[0], "Evaluated 6 of 6 covers (4 kept from before), 108 rows");
    EXPECT_EQ(readFile(out + "/results.csv"), whole);
}

// Tables damaged by hand or by another program: a Windows editor's CRLF is
// read as it is; a quote that never closes, a score that is not a number or
// a row of too many fields loses its cover and what follows, which the
// resume does again, so the table ends as the uninterrupted run's.
TEST_F(LongRun, ResumeReadsDamagedTablesAsFarAsTheyGo) {
    const auto rows = wholeRows();
    const std::size_t lastCover = (kCovers - 1) * kAttacks;
    auto lines = [&](std::size_t from, std::size_t to, const std::string &end) {
        std::string text;
        for (std::size_t i = from; i < to; ++i)
            text += rows[i] + end;
        return text;
    };
    auto replaced = [](std::string row, std::size_t field, const std::string &value) {
        std::size_t at = 0;
        for (std::size_t f = 0; f < field; ++f)
            at = row.find(',', at) + 1;
        return row.replace(at, row.find(',', at) - at, value);
    };
    const std::string firstFive = kHeader + "\n" + lines(0, lastCover, "\n");
    struct Row {
        const char *name;
        std::string table;
        std::string said;
    };
    const Row cases[] = {
        {"CRLF", kHeader + "\r\n" + lines(0, rows.size(), "\r\n"),
         "Evaluated 6 of 6 covers (6 kept from before), 108 rows"},
        {"a quote that never closes", firstFive + "\"" + lines(lastCover, rows.size(), "\n"),
         "Evaluated 6 of 6 covers (5 kept from before), 108 rows"},
        {"an NC of nan", firstFive + replaced(rows[lastCover], 6, "nan") + "\n" + lines(lastCover + 1, rows.size(), "\n"),
         "Evaluated 6 of 6 covers (5 kept from before), 108 rows"},
        {"a recall that is no number", firstFive + lines(lastCover, rows.size() - 1, "\n") +
                                           replaced(rows.back(), 9, "most") + "\n",
         "Evaluated 6 of 6 covers (5 kept from before), 108 rows"},
        {"a field too many", firstFive + rows[lastCover] + ",1\n" + lines(lastCover + 1, rows.size(), "\n"),
         "Evaluated 6 of 6 covers (5 kept from before), 108 rows"},
    };
    for (const Row &row : cases) {
        SCOPED_TRACE(row.name);
        const std::string out = here.file("out");
        std::filesystem::remove_all(out);
        std::filesystem::create_directory(out);
        here.write("out/results.csv", row.table);
        auto args = evaluate(out);
        args.push_back("--resume");
        const test::RunResult r = test::runCli(args);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(linesOf(r.out)[0], row.said);
        EXPECT_EQ(readFile(out + "/results.csv"), whole);
    }
}

// Refused before anything is written or replaced: each row leaves the
// earlier table as it was and makes no new folder.
TEST_F(LongRun, RefusalsLeaveTheEarlierRunAlone) {
    const std::string out = here.file("out"), csv = out + "/results.csv";
    std::filesystem::create_directory(out);
    const std::string missing = here.file("nope.bmp"), locked = here.write("locked.bmp", "BM");
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    const bool root = geteuid() == 0; // reads any file
    const std::string exists = "ombrel evaluate: " + csv +
                               " exists: --resume goes on with that run, --overwrite starts afresh";
    struct Row {
        const char *name;
        std::string table;             // the earlier results.csv
        std::vector<std::string> args; // after the usual evaluate arguments
        int code;
        std::string said; // the first line of stderr
        std::vector<std::string> covers = {};
    };
    const Row rows[] = {
        {"results there", whole, {}, 2, exists},
        {"both ways", whole, {"--resume", "--overwrite"}, 2,
         "ombrel evaluate: --resume and --overwrite exclude each other"},
        {"another header", "cover,threshold\n", {"--resume"}, 1,
         csv + ": not the table of such a run: its first line is not \"" + kHeader + "\""},
        {"other thresholds", whole, {"--resume", "-t", "5"}, 1,
         csv + ": holds rows at threshold 0, which this run does not use"},
        {"another shard", whole, {"--resume", "--shard", "2/2"}, 1,
         csv + ": holds rows of " + folder + "/c0.bmp, which this run does not evaluate"},
        // Damage no writer makes: shown in one short line whatever the field holds.
        {"a huge field", kHeader + "\n" + std::string(1 << 20, 'x') + ",0,1,1,none,1,1,1,,\n", {"--resume"}, 1,
         csv + ": holds rows of " + std::string(80, 'x') + "..., which this run does not evaluate"},
        {"a NUL byte", kHeader + "\n" + std::string("c\0.bmp,0,1,1,none,1,1,1,,\n", 26), {"--resume"}, 1,
         csv + ": holds rows of c?.bmp, which this run does not evaluate"},
        {"a quoted newline", kHeader + "\n" + folder + "/c0.bmp,\"0\n1\",1,1,none,1,1,1,,\n", {"--resume"}, 1,
         csv + ": holds rows at threshold 0?1, which this run does not use"},
        {"a header in CRLF, then other thresholds", kHeader + "\r\n" + wholeRows()[0] + "\r\n", {"--resume", "-t", "5"},
         1, csv + ": holds rows at threshold 0, which this run does not use"},
        {"missing cover", "", {}, 1, missing + ": no such file", {missing}},
        {"unreadable cover", "", {}, 1, locked + ": cannot be read: Permission denied", {locked}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        if (root && std::string(row.name) == "unreadable cover")
            continue;
        std::filesystem::remove_all(out);
        if (!row.table.empty()) {
            std::filesystem::create_directory(out);
            here.write("out/results.csv", row.table);
        }
        auto args = evaluate(out);
        args.insert(args.begin() + 1, row.covers.begin(), row.covers.end());
        args.insert(args.end(), row.args.begin(), row.args.end());
        const test::RunResult r = test::runCli(args);
        EXPECT_EQ(r.code, row.code);
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')), row.said);
        EXPECT_EQ(r.out, "");
        if (row.table.empty())
            EXPECT_FALSE(std::filesystem::exists(out)) << "no folder made";
        else
            EXPECT_EQ(test::entriesOf(out), std::set<std::string>{"results.csv"});
        if (!row.table.empty())
            EXPECT_EQ(readFile(csv), row.table);
    }
}

// --overwrite starts afresh over an earlier table.
TEST_F(LongRun, OverwriteStartsAfresh) {
    const std::string out = here.file("out");
    std::filesystem::create_directory(out);
    here.write("out/results.csv", "what an earlier run left\n");
    const test::RunResult r = test::runCli(
        {"evaluate", folder + "/c0.bmp", "--watermark", watermark, "-o", out, "--overwrite"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readFile(out + "/results.csv"),
              kHeader + "\n" + [&] {
                  std::string first;
                  // One cover has no collage: its attacks' rows alone.
                  for (std::size_t i = 0; i + 1 < kAttacks; ++i)
                      first += wholeRows()[i] + "\n";
                  return first;
              }());
}

} // namespace
} // namespace ombrel
