// SPDX-License-Identifier: Apache-2.0
// A dataset as many runs: evaluate's shards joined into one run's files,
// the manifest that says which run a folder holds, covers given as a list,
// and progress written to a log.
#include "cli/progress_bar.h"
#include "imaging/picture_out.h"
#include "imaging/sample_images.h"
#include "support/bmp_builder.h"
#include "support/cover_fixture.h"
#include "support/cli_run.h"
#include "support/folder.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>

namespace ombrel {
namespace {

using test::linesOf;
using test::readFile;

constexpr unsigned kCovers = 5;
constexpr std::size_t kRowsACover = 18; // the attacks and the collage, at one threshold

std::string firstLine(const std::string &text) { return text.substr(0, text.find('\n')); }

// Five covers and what one run over all of them writes.
class Shards : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = std::make_unique<test::TempDir>();
        const test::Dataset data = test::writeDataset(*dir, kCovers, 70);
        folder = data.folder;
        watermark = data.watermark;
        const auto r = test::runCli({"evaluate", folder, "--watermark", watermark, "-o", dir->file("whole")});
        ASSERT_EQ(r.code, 0) << r.err;
        whole = readFile(dir->file("whole/results.csv"));
    }
    static void TearDownTestSuite() { dir.reset(); }

    // Shard k of n of the covers (or of what the extra arguments give) into out.
    static test::RunResult shard(const std::string &out, int k, int n, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"evaluate", folder, "--watermark", watermark, "-o", out,
                                         "--shard", std::to_string(k) + "/" + std::to_string(n)};
        args.insert(args.end(), extra.begin(), extra.end());
        return test::runCli(args);
    }
    // Every shard of n into here/name-K, the folders in the order given.
    std::vector<std::string> allShards(const std::string &name, int n) const {
        std::vector<std::string> dirs;
        for (int k = 1; k <= n; ++k) {
            dirs.push_back(here.file(name + "-" + std::to_string(k)));
            const auto r = shard(dirs.back(), k, n);
            EXPECT_EQ(r.code, 0) << r.err;
        }
        return dirs;
    }
    static test::RunResult join(const std::vector<std::string> &dirs, const std::string &out,
                                std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"evaluate", "--join"};
        args.insert(args.end(), dirs.begin(), dirs.end());
        args.insert(args.end(), {"-o", out});
        args.insert(args.end(), extra.begin(), extra.end());
        return test::runCli(args);
    }

    static inline std::unique_ptr<test::TempDir> dir;
    static inline std::string folder, watermark, whole;
    test::TempDir here;
};

// However many shards, and in whatever order their folders come, the join is
// the table of the one run, and its folder reads as that run's.
TEST_F(Shards, JoinMakesTheWholeRun) {
    for (const int n : {1, 2, 3, 7}) {
        SCOPED_TRACE(n);
        std::vector<std::string> dirs = allShards("n" + std::to_string(n), n);
        std::reverse(dirs.begin(), dirs.end());
        const std::string out = here.file("joined-" + std::to_string(n));
        const auto r = join(dirs, out);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(linesOf(r.out)[0], "Joined " + std::to_string(n) + " shards: 5 of 5 covers, 90 rows");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(readFile(out + "/results.csv"), whole);
        EXPECT_EQ(linesOf(readFile(out + "/summary.md"))[2], "5 covers evaluated.");
        EXPECT_TRUE(std::filesystem::file_size(out + "/chart.png") > 0);
        // As one whole, finished run: it may be joined or resumed again.
        const std::string manifest = readFile(out + "/manifest.txt");
        EXPECT_NE(manifest.find("\nshard 1/1\nfinished yes\ncovers 5\n"), std::string::npos) << manifest;
        EXPECT_EQ(manifest, readFile(dir->file("whole/manifest.txt")));
    }
}

// A manifest names everything the rows depend on, and the covers in the
// order their paths sort.
TEST_F(Shards, ManifestSaysWhatRan) {
    const std::string out = here.file("s");
    ASSERT_EQ(shard(out, 2, 3, {"-t", "0,30"}).code, 0);
    const std::string expected =
        "# ombrel evaluate: the run whose rows are in results.csv\n"
        "version 1.0.0\n"
        "watermark " + watermark + "\n"
        "thresholds 0,30\n"
        "fit no\n"
        "attacks none,jpeg-90,jpeg-75,jpeg-50,noise-2,noise-5,saltpepper-1,cut-25,rescale-50,rotate-1,"
        "brightness-10,median-3,lsb-flip,fill-zero,fill-random,copy-move,text,collage\n"
        "key no\n"
        "id from names\n"
        "shard 2/3\n"
        "finished yes\n"
        "covers 5\n"
        "cover " + folder + "/c0.bmp\ncover " + folder + "/c1.bmp\ncover " + folder + "/c2.bmp\n"
        "cover " + folder + "/c3.bmp\ncover " + folder + "/c4.bmp\n";
    EXPECT_EQ(readFile(out + "/manifest.txt"), expected);
}

// Folders that are not every shard of one finished run are refused in one
// line, and nothing is written.
TEST_F(Shards, JoinRefusesWhatDoesNotBelongTogether) {
    const std::vector<std::string> two = allShards("two", 2);
    const std::string other = here.file("other");
    ASSERT_EQ(shard(other, 2, 2, {"-t", "5"}).code, 0);
    const std::string three = here.file("three-3");
    ASSERT_EQ(shard(three, 3, 3).code, 0);
    // Shard 1/2 cut short as a kill leaves it: its first cover's rows alone.
    const std::string cut = here.file("cut");
    std::filesystem::copy(two[0], cut);
    {
        const auto rows = linesOf(readFile(two[0] + "/results.csv"));
        std::string kept = rows[0] + "\n";
        for (std::size_t i = 1; i <= kRowsACover; ++i)
            kept += rows[i] + "\n";
        here.write("cut/results.csv", kept);
        std::string manifest = readFile(cut + "/manifest.txt");
        manifest.replace(manifest.find("finished yes"), 12, "finished no");
        here.write("cut/manifest.txt", manifest);
    }
    const std::string bare = here.file("bare");
    std::filesystem::create_directory(bare);
    here.write("bare/results.csv", firstLine(whole) + "\n");

    struct Row {
        const char *name;
        std::vector<std::string> dirs;
        std::vector<std::string> extra;
        int code;
        std::string said;
    };
    const std::string out = here.file("out");
    const Row rows[] = {
        {"other thresholds", {two[0], other}, {}, 1,
         two[0] + " and " + other + " are shards of other runs: thresholds 0 and 5"},
        {"other shard counts", {two[0], two[1], three}, {}, 1,
         two[0] + " and " + three + " are shards of other runs: shards 2 and 3"},
        {"a shard twice", {two[0], two[1], two[0]}, {}, 1,
         "the cover " + folder + "/c0.bmp is in two shards: " + two[0] + " and " + two[0] + " (both shard 1/2)"},
        {"a shard missing", {two[1]}, {}, 1, "shard 1/2 is missing: --join needs the folders of all 2 shards"},
        {"unfinished", {cut, two[1]}, {}, 1,
         cut + ": shard 1/2 is unfinished: it lacks 2 of its covers: " + folder + "/c2.bmp, " + folder + "/c4.bmp"},
        {"no manifest", {two[0], bare}, {}, 1, bare + ": holds no manifest.txt: not the folder of an evaluate run"},
        {"into a shard", {two[0], two[1]}, {"--overwrite"}, 1,
         two[0] + "/results.csv: would replace the rows of the shard in " + two[0]},
        {"other options", {two[0], two[1]}, {"-t", "0"}, 2,
         "ombrel evaluate: --join takes the shards' folders, -o OUT and --overwrite alone"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string target = std::string(row.name) == "into a shard" ? two[0] : out;
        const auto r = join(row.dirs, target, row.extra);
        EXPECT_EQ(r.code, row.code);
        EXPECT_EQ(firstLine(r.err), row.said);
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(std::filesystem::exists(out));
    }
    // Resumed, the cut shard joins as if it had never stopped.
    ASSERT_EQ(shard(cut, 1, 2, {"--resume"}).code, 0);
    const auto r = join({cut, two[1]}, out);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readFile(out + "/results.csv"), whole);
    // A join is never replaced by accident.
    const auto again = join({cut, two[1]}, out);
    EXPECT_EQ(again.code, 2);
    EXPECT_EQ(firstLine(again.err), "ombrel evaluate: " + out + "/results.csv exists: --overwrite replaces it");
}

// --resume goes on only with the run its folder's manifest names.
TEST_F(Shards, ResumeChecksTheManifest) {
    const std::string out = here.file("run");
    ASSERT_EQ(shard(out, 1, 2).code, 0);
    const std::string table = readFile(out + "/results.csv");
    const std::string manifest = out + "/manifest.txt";
    struct Row {
        const char *name;
        std::vector<std::string> args;
        std::string said;
    };
    const Row rows[] = {
        {"another shard", {"evaluate", folder, "--watermark", watermark, "-o", out, "--shard", "2/2", "--resume"},
         manifest + ": the run there differs from this one: shard 1/2 and 2/2 (--overwrite starts afresh)"},
        {"other thresholds",
         {"evaluate", folder, "--watermark", watermark, "-o", out, "--shard", "1/2", "-t", "0,9", "--resume"},
         manifest + ": the run there differs from this one: thresholds 0 and 0,9 (--overwrite starts afresh)"},
        {"fewer covers",
         {"evaluate", folder + "/c0.bmp", folder + "/c1.bmp", "--watermark", watermark, "-o", out, "--shard", "1/2",
          "--resume"},
         manifest + ": the run there differs from this one: covers 5 and 2 (--overwrite starts afresh)"},
        {"fitted", {"evaluate", folder, "--watermark", watermark, "-o", out, "--shard", "1/2", "--fit", "--resume"},
         manifest + ": the run there differs from this one: --fit no and yes (--overwrite starts afresh)"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const auto r = test::runCli(row.args);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(firstLine(r.err), row.said);
        EXPECT_EQ(readFile(out + "/results.csv"), table);
    }
    // The same run goes on.
    EXPECT_EQ(shard(out, 1, 2, {"--resume"}).code, 0);
}

// A list names the covers as a folder does, sharded in the same sorted order
// whatever order it lists them in.
TEST_F(Shards, FileListIsAFolderOfCovers) {
    const std::string list = here.write("covers.txt", "# the covers, backwards\n\n" + folder + "/c4.bmp\r\n" +
                                                          folder + "/c3.bmp\n   \n" + folder + "/c2.bmp\n" +
                                                          folder + "/c1.bmp\n" + folder + "/c0.bmp");
    for (const int k : {1, 2}) {
        SCOPED_TRACE(k);
        const std::string byFolder = here.file("folder-" + std::to_string(k));
        const std::string byList = here.file("list-" + std::to_string(k));
        ASSERT_EQ(shard(byFolder, k, 2).code, 0);
        const auto r = test::runCli({"evaluate", "--file-list", list, "--watermark", watermark, "-o", byList,
                                     "--shard", std::to_string(k) + "/2"});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(readFile(byList + "/results.csv"), readFile(byFolder + "/results.csv"));
        EXPECT_EQ(readFile(byList + "/manifest.txt"), readFile(byFolder + "/manifest.txt"));
    }
}

// A list always asks for the form over many files, and its paths are taken
// whole, spaces and all.
TEST_F(Shards, FileListMeansManyFiles) {
    const std::string spaced = here.file("a cover.bmp");
    std::filesystem::copy_file(folder + "/c0.bmp", spaced);
    const std::string list = here.write("one.txt", spaced + "\n");
    const std::string marked = here.file("marked");
    auto r = test::runCli({"embed", "--file-list", list, "--watermark", watermark, "-o", marked});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(marked + "/a cover.bmp"));
    const std::string markedList = here.write("marked.txt", "#\n" + marked + "/a cover.bmp\n");
    r = test::runCli({"verify", "--file-list", markedList, "--watermark", watermark, "--quiet"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, marked + "/a cover.bmp: intact\n");
    r = test::runCli({"extract", "--file-list", markedList, "-o", here.file("wm")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(here.file("wm/a cover.bmp")));
}

// A list that cannot be used is refused before anything is written.
TEST_F(Shards, FileListRefusals) {
    const std::string missing = here.file("nope.bmp");
    struct Row {
        const char *name;
        std::string list; // contents; empty names a list that is not there
        std::string said; // with LIST for the list's path
    };
    const Row rows[] = {
        {"a path missing", folder + "/c0.bmp\n" + missing + "\n", missing + ": no such file"},
        {"nothing listed", "# none yet\n\n  \n", "LIST: lists no file"},
        {"no list", "", "LIST: no such file"},
        {"a line no path is", std::string(5000, 'x') + "\n", "LIST: line 1 is longer than any path"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string list = row.list.empty() ? here.file("absent.txt") : here.write("list.txt", row.list);
        const std::string out = here.file("out");
        for (const auto &args : std::vector<std::vector<std::string>>{
                 {"evaluate", "--file-list", list, "--watermark", watermark, "-o", out},
                 {"embed", "--file-list", list, "--watermark", watermark, "-o", out},
                 {"verify", "--file-list", list, "--watermark", watermark},
                 {"extract", "--file-list", list, "-o", out}}) {
            SCOPED_TRACE(args[0]);
            const auto r = test::runCli(args);
            EXPECT_EQ(r.code, 1);
            EXPECT_EQ(firstLine(r.err), std::regex_replace(row.said, std::regex("LIST"), list));
            EXPECT_FALSE(std::filesystem::exists(out));
        }
    }
}

// "-" reads the list from standard input, as a pipe gives it.
TEST_F(Shards, FileListFromStandardInput) {
    const std::string out = here.file("piped");
    const auto r = test::runProgram("/bin/sh", {"-c", "printf '%s\\n' \"$1\" \"$2\" | \"$0\" evaluate --file-list - "
                                                      "--watermark \"$3\" -o \"$4\" --shard 1/2",
                                                OMBREL_BINARY, folder + "/c0.bmp", folder, watermark, out});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string byFolder = here.file("folder");
    ASSERT_EQ(shard(byFolder, 1, 2).code, 0);
    EXPECT_EQ(readFile(out + "/results.csv"), readFile(byFolder + "/results.csv"));
}

// In a log, --progress writes a line at each tenth; without it stderr stays
// empty, as a script has it today.
TEST_F(Shards, ProgressInALog) {
    const std::string err = here.file("err.txt");
    for (const bool asked : {false, true}) {
        SCOPED_TRACE(asked);
        std::vector<std::string> args = {"evaluate", folder, "--watermark", watermark, "-o", here.file("p"),
                                         "--overwrite", "-j", "1"};
        if (asked)
            args.push_back("--progress");
        test::Child child = test::Child::start(OMBREL_BINARY, args, here.file("out.txt"), err);
        const test::Ending end = child.wait();
        ASSERT_TRUE(end.exited && end.status == 0) << readFile(err);
        const auto lines = linesOf(readFile(err));
        if (!asked) {
            EXPECT_EQ(lines, std::vector<std::string>{});
            continue;
        }
        // Five covers: each one a tenth or two, so a line each, the last at the end.
        ASSERT_EQ(lines.size(), 5u) << readFile(err);
        for (std::size_t i = 0; i < lines.size(); ++i)
            EXPECT_TRUE(std::regex_match(lines[i], std::regex("progress: " + std::to_string(i + 1) +
                                                              "/5  [0-9]+\\.[0-9]{2} images/s  ([0-9]+:[0-9]{2}|--:--) left")))
                << lines[i];
    }
}

// A line at every tenth, and between them once a minute has passed with
// work done in it; never one for no work at all.
TEST(ProgressLog, EveryTenthOrEveryMinute) {
    using std::chrono::hours;
    using std::chrono::milliseconds;
    struct Row {
        const char *name;
        cli::ProgressStyle style;
        std::chrono::steady_clock::duration every;
        std::vector<std::size_t> shown;
        std::vector<std::size_t> logged;
    };
    const Row rows[] = {
        {"tenths", cli::ProgressStyle::Log, hours(1), {0, 5, 9, 10, 11, 19, 20, 35, 99, 100}, {10, 20, 35, 99, 100}},
        {"the minute gone", cli::ProgressStyle::Log, milliseconds(0), {0, 1, 1, 2, 2, 3}, {1, 2, 3}},
        {"no log asked", cli::ProgressStyle::None, milliseconds(0), {10, 50, 100}, {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::ostringstream out;
        cli::ProgressBar bar(out, 100, row.style, row.every);
        for (std::size_t done : row.shown)
            bar.show(done);
        bar.say("a line of its own");
        bar.clear();
        std::vector<std::size_t> logged;
        for (const std::string &line : linesOf(out.str()))
            if (line.starts_with("progress: "))
                logged.push_back(std::stoul(line.substr(10)));
        EXPECT_EQ(logged, row.logged);
        EXPECT_EQ(out.str().find('\r'), std::string::npos) << "nothing redrawn in a log";
        EXPECT_NE(out.str().find("a line of its own\n"), std::string::npos);
    }
    EXPECT_EQ(cli::progressStyle(false, true), cli::ProgressStyle::Bar);
    EXPECT_EQ(cli::progressStyle(true, true), cli::ProgressStyle::Bar);
    EXPECT_EQ(cli::progressStyle(true, false), cli::ProgressStyle::Log);
    EXPECT_EQ(cli::progressStyle(false, false), cli::ProgressStyle::None);
}

} // namespace
} // namespace ombrel
