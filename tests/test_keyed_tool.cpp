// SPDX-License-Identifier: Apache-2.0
#include "imaging/picture_in.h"
#include "imaging/picture_out.h"
#include "imaging/sample_images.h"
#include "stego/embedding.h"
#include "stego/extraction.h"
#include "stego/verify.h"
#include "support/bmp_builder.h"
#include "support/cli_run.h"
#include "support/cover_fixture.h"
#include "support/folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

namespace ombrel {
namespace {

using Result = test::RunResult;
using test::lines;
using test::runCli;

// Sets the process's umask for one test and puts the old one back.
class Umask {
public:
    explicit Umask(mode_t mask) : previous_(::umask(mask)) {}
    ~Umask() { ::umask(previous_); }
    Umask(const Umask &) = delete;
    Umask &operator=(const Umask &) = delete;

private:
    mode_t previous_;
};

class KeyedTool : public test::CoverAndWatermark {
protected:
    KeyedTool() : CoverAndWatermark(31) {}
    void SetUp() override {
        CoverAndWatermark::SetUp();
        key = dir.file("owner.key");
        ASSERT_EQ(runCli({"keygen", key}).code, 0);
    }
    std::string key;
};

TEST_F(KeyedTool, KeygenWritesThirtyTwoPrivateBytesAndNeverReplacesAKey) {
    for (const mode_t mask : {mode_t{0}, mode_t{0277}}) {
        const Umask umask(mask);
        const std::string path = dir.file("key-" + std::to_string(mask));
        const Result r = runCli({"keygen", path});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, "Wrote " + path + "\n");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(test::readFile(path).size(), 32u);
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u) << "under umask " << std::oct << mask;
    }
    EXPECT_NE(test::readFile(key), test::readFile(dir.file("key-0")));

    const std::string before = test::readFile(key);
    const Result again = runCli({"keygen", key});
    EXPECT_EQ(again.code, 1);
    EXPECT_EQ(again.out, "");
    EXPECT_EQ(again.err, key + ": already exists; keygen never replaces a key\n");
    EXPECT_EQ(test::readFile(key), before);

    const std::string nowhere = dir.file("missing/owner.key");
    const Result lost = runCli({"keygen", nowhere});
    EXPECT_EQ(lost.code, 1);
    EXPECT_EQ(lost.err, nowhere + ": cannot create the key file: No such file or directory\n");
    EXPECT_EQ(runCli({"keygen"}).code, 2);
}

// Every command that takes a key refuses a bad key file in one line, before
// it reads an image or writes a file.
TEST_F(KeyedTool, BadKeyFilesAreRefusedInOneLineAndNothingIsWritten) {
    const std::string marked = dir.file("marked.bmp");
    ASSERT_EQ(runCli({"embed", cover, watermark, "-o", marked, "--key-file", key}).code, 0);
    std::filesystem::create_directory(dir.file("folder.key"));
    dir.writePrivate("empty.key", "");
    dir.writePrivate("short.key", std::string(15, 'k'));
    dir.writePrivate("huge.key", std::string((1 << 20) + 1, 'k'));
    dir.write("plain.txt", "a file, not a folder");
    struct Row {
        std::string keyFile, err;
    };
    const Row rows[] = {
        {dir.file("absent.key"), ": cannot read the key file: No such file or directory"},
        {dir.file("folder.key"), ": cannot read the key file: Is a directory"},
        {dir.file("plain.txt/owner.key"), ": cannot read the key file: Not a directory"},
        {dir.file("empty.key"), ": the key file is empty; a key needs at least 16 bytes"},
        {dir.file("short.key"), ": the key file holds 15 bytes; a key needs at least 16"},
        {dir.file("huge.key"), ": the key file is larger than 1 MiB; a key is a short secret"},
    };
    const std::string out = dir.file("out.bmp"), csv = dir.file("out.csv"), results = dir.file("results");
    const std::vector<std::vector<std::string>> commands = {
        {"embed", cover, watermark, "-o", out, "--id", "a"},
        {"extract", marked, "-o", out},
        {"verify", marked, "--watermark", watermark, "--map", out},
        {"attack", marked, "--watermark", watermark, "--csv", csv},
        {"evaluate", cover, "--watermark", watermark, "-o", results},
    };
    const auto entries = test::entriesOf(dir.path());
    for (const Row &row : rows)
        for (std::vector<std::string> args : commands) {
            args.insert(args.end(), {"--key-file", row.keyFile});
            const Result r = runCli(args);
            EXPECT_EQ(r.code, 1) << args[0] << " " << row.keyFile;
            EXPECT_EQ(r.err, row.keyFile + row.err + "\n") << args[0];
            EXPECT_EQ(r.out, "") << args[0];
            EXPECT_EQ(test::entriesOf(dir.path()), entries) << args[0] << " " << row.keyFile;
        }

    // The same for an image that cannot be read, with a good key.
    const std::string broken = dir.write("broken.bmp", "BM-not-really");
    const auto withBroken = test::entriesOf(dir.path());
    const Result r = runCli({"verify", broken, "--watermark", watermark, "--key-file", key, "--map", out});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
    EXPECT_EQ(r.err.rfind(broken + ": ", 0), 0u) << r.err;
    EXPECT_FALSE(std::filesystem::exists(out));

    // An id without a key, or a key with nothing to check, makes no sense.
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"embed", cover, watermark, "-o", out, "--id", "a"},
          {"extract", marked, "-o", out, "--id", "a"},
          {"verify", marked, "--watermark", watermark, "--id", "a"},
          {"attack", marked, "--id", "a"},
          {"evaluate", cover, "--watermark", watermark, "-o", results, "--id", "a"}}) {
        const Result u = runCli(args);
        EXPECT_EQ(u.code, 2) << args[0];
        EXPECT_EQ(u.err.substr(0, u.err.find('\n')), "ombrel " + args[0] + ": --id needs --key-file");
    }
    const Result attack = runCli({"attack", marked, "--key-file", key});
    EXPECT_EQ(attack.code, 2);
    EXPECT_EQ(attack.err.substr(0, attack.err.find('\n')), "ombrel attack: --key-file needs --watermark");
    EXPECT_EQ(test::entriesOf(dir.path()), withBroken);
}

// With its key and id the keyed mark gives back exactly the watermark the
// keyless mark gives; any other key or id gives noise and "altered" nearly
// everywhere.
TEST_F(KeyedTool, KeyedRoundTripAndTheWrongKeyOrId) {
    const std::string keyed = dir.file("keyed.bmp"), plain = dir.file("plain.bmp");
    ASSERT_EQ(runCli({"embed", cover, watermark, "-o", keyed, "--key-file", key, "--id", "IMG-7"}).code, 0);
    ASSERT_EQ(runCli({"embed", cover, watermark, "-o", plain}).code, 0);
    EXPECT_NE(test::readFile(keyed), test::readFile(plain));

    const std::string fromKeyed = dir.file("from-keyed.bmp"), fromPlain = dir.file("from-plain.bmp");
    ASSERT_EQ(runCli({"extract", keyed, "-o", fromKeyed, "--key-file", key, "--id", "IMG-7"}).code, 0);
    ASSERT_EQ(runCli({"extract", plain, "-o", fromPlain}).code, 0);
    EXPECT_EQ(test::readFile(fromKeyed), test::readFile(fromPlain));

    const Result intact = runCli({"verify", keyed, "--watermark", watermark, "--key-file", key, "--id", "IMG-7"});
    EXPECT_EQ(intact.code, 0) << intact.out << intact.err;
    EXPECT_EQ(lines(intact.out).back(), "intact");
    // The NC it prints is of the watermark extracted with the key.
    const Result plainIntact = runCli({"verify", plain, "--watermark", watermark});
    EXPECT_EQ(intact.out, plainIntact.out);

    // A tampered keyed image: the tool's report and map are the core's keyed check's.
    Image tampered = *loadBitmap(keyed);
    for (int y = 300; y < 420; ++y)
        for (int x = 560; x < 760; ++x)
            tampered.at(x, y) = 0;
    const std::string blacked = dir.file("blacked.bmp"), map = dir.file("map.bmp");
    ASSERT_TRUE(saveBitmap(tampered, blacked));
    const Result r = runCli({"verify", blacked, "--watermark", watermark, "--key-file", key, "--id", "IMG-7",
                             "--map", map});
    EXPECT_EQ(r.code, 3);
    const std::string secret = test::readFile(key);
    const Keystream stream(MarkKey{SecretBytes(secret.begin(), secret.end()), "IMG-7"});
    const MarkReport core = verifyMark(tampered, MarkBits(surfaceOf(sampleWatermark()), 0), &stream);
    EXPECT_EQ(core.blocksAltered, 400) << "every block the black touched: 25 x 16";
    EXPECT_NE(r.out.find("Bits differing: " + std::to_string(core.bitsDiffering) + " ("), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Altered 8x8 blocks: 400 of 11968 checked\nAltered area: x 560..759, y 296..423\n"),
              std::string::npos)
        << r.out;
    // Without a map the keystream comes off where the image lies: the same report.
    const Result noMap = runCli({"verify", blacked, "--watermark", watermark, "--key-file", key, "--id", "IMG-7"});
    EXPECT_EQ(noMap.code, 3);
    EXPECT_EQ("Wrote " + map + "\n" + noMap.out, r.out);
    const std::string coreMap = dir.file("core-map.bmp");
    ASSERT_TRUE(saveBitmap(tamperMap(tampered, core), coreMap));
    EXPECT_EQ(test::readFile(map), test::readFile(coreMap));

    const std::string other = dir.file("other.key");
    ASSERT_EQ(runCli({"keygen", other}).code, 0);
    // Keyed, every block fails and verify says why instead of drawing an
    // area; the keyless check keeps its word.
    const std::string noMatch = "no block matches: not sealed with this key and id, or replaced whole";
    struct Row {
        const char *name;
        std::vector<std::string> keyArgs;
        std::string last;
    };
    const Row rows[] = {
        {"no key", {}, "altered"},
        {"another key", {"--key-file", other, "--id", "IMG-7"}, noMatch},
        {"another id", {"--key-file", key, "--id", "IMG-8"}, noMatch},
        {"no id", {"--key-file", key}, noMatch},
    };
    for (const Row &row : rows) {
        std::vector<std::string> args = {"verify", keyed, "--watermark", watermark};
        args.insert(args.end(), row.keyArgs.begin(), row.keyArgs.end());
        const Result r = runCli(args);
        EXPECT_EQ(r.code, 3) << row.name;
        ASSERT_FALSE(r.out.empty()) << row.name;
        EXPECT_EQ(lines(r.out).back(), row.last) << row.name;
        int altered = 0, checked = 0;
        for (const std::string &line : lines(r.out))
            std::sscanf(line.c_str(), "Altered 8x8 blocks: %d of %d checked", &altered, &checked);
        EXPECT_EQ(checked, 11968) << row.name;
        EXPECT_GT(altered, 11968 * 99 / 100) << row.name;

        std::vector<std::string> extract = {"extract", keyed, "-o", dir.file("noise.bmp")};
        extract.insert(extract.end(), row.keyArgs.begin(), row.keyArgs.end());
        ASSERT_EQ(runCli(extract).code, 0) << row.name;
        const Image noise = *loadBitmap(dir.file("noise.bmp")), right = *loadBitmap(fromPlain);
        std::size_t same = 0;
        for (std::size_t i = 0; i < noise.pixels.size(); ++i)
            same += noise.pixels[i] == right.pixels[i];
        EXPECT_LT(same, noise.pixels.size() / 2) << row.name << ": the watermark is noise";
    }
}

// With the key, attack finds every block each tamper changed, and nothing else.
TEST_F(KeyedTool, AttackWithTheKeyScoresTheTampersFully) {
    const std::string keyed = dir.file("keyed.bmp");
    ASSERT_EQ(runCli({"embed", cover, watermark, "-o", keyed, "--key-file", key, "--id", "x"}).code, 0);
    const Result r = runCli({"attack", keyed, "--watermark", watermark, "--key-file", key, "--id", "x"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto table = lines(r.out);
    ASSERT_EQ(table.size(), 2u + 17);
    EXPECT_EQ(table[2].rfind("| none | inf | 0.997318 | 100.00 % |  |  |", 0), 0u) << table[2];
    for (std::size_t row = 15; row < 19; ++row)
        EXPECT_EQ(table[row].substr(table[row].size() - 17), "| 1.000 | 1.000 |") << table[row];
}

// Without a key the tool's files are those of the core's keyless calls, byte
// for byte.
TEST_F(KeyedTool, KeylessOutputsAreTheKeylessCoresOwn) {
    const std::string marked = dir.file("marked.bmp"), extracted = dir.file("extracted.bmp"),
                      map = dir.file("map.bmp");
    ASSERT_EQ(runCli({"embed", cover, watermark, "-t", "20", "-o", marked}).code, 0);
    ASSERT_EQ(runCli({"extract", marked, "-o", extracted}).code, 0);
    ASSERT_EQ(runCli({"verify", marked, "--watermark", watermark, "-t", "20", "--map", map}).code, 0);

    const Surface coverSurface = surfaceOf(*loadBitmap(cover));
    const Surface watermarkSurface = surfaceOf(sampleWatermark());
    const Image core = embed(coverSurface, watermarkSurface, 20).watermarked.image();
    const Image coreExtracted = extract(surfaceOf(core)).image();
    const Image coreMap = tamperMap(core, verifyMark(core, MarkBits(watermarkSurface, 20)));
    const std::pair<const Image *, std::string> expected[] = {
        {&core, marked}, {&coreExtracted, extracted}, {&coreMap, map}};
    for (const auto &[image, path] : expected) {
        const std::string mine = dir.file("core-" + std::filesystem::path(path).filename().string());
        ASSERT_TRUE(saveBitmap(*image, mine));
        EXPECT_EQ(test::readFile(path), test::readFile(mine)) << path;
    }
}

// Two covers: each one's collage takes the other's region. Keyed, with each
// file name as id, every collage is found. Keyless, the region goes unseen;
// keyed with one id for both, only its top and bottom block rows show, which
// the region cuts through (y 300..545: 2 of block rows 37..68).
TEST_F(KeyedTool, EvaluateFindsCollagesOnlyWithKeysAndIdsOfTheirOwn) {
    const std::string folder = dir.file("covers");
    std::filesystem::create_directory(folder);
    ASSERT_TRUE(saveBitmap(test::randomImage(1024, 768, 41), folder + "/a.bmp"));
    ASSERT_TRUE(saveBitmap(test::randomImage(1024, 768, 42), folder + "/b.bmp"));
    struct Run {
        const char *name;
        std::vector<std::string> keyArgs;
        std::string collageScores; // the end of each collage row of the CSV
        std::vector<std::string> tamperTable; // as summary.md has it
    };
    const std::string head = "| tamper | precision | recall | altered |";
    const std::string rule = "|---|---:|---:|---:|";
    const Run runs[] = {
        {"keyed",
         {"--key-file", key},
         ",1.000,1.000",
         {head, rule, "| fill-zero | 1.000 | 1.000 | 2 of 2 |", "| fill-random | 1.000 | 1.000 | 2 of 2 |",
          "| copy-move | 1.000 | 1.000 | 2 of 2 |", "| text | 1.000 | 1.000 | 2 of 2 |",
          "| collage | 1.000 | 1.000 | 2 of 2 |"}},
        {"keyless",
         {},
         ",,0.000",
         {head, rule, "| fill-zero | 1.000 | 0.102 | 2 of 2 |", "| fill-random | 1.000 | 1.000 | 2 of 2 |",
          "| copy-move | 1.000 | 0.562 | 2 of 2 |", "| text | 1.000 | 0.970 | 2 of 2 |",
          "| collage | - | 0.000 | 0 of 2 |"}},
        {"one id for both",
         {"--key-file", key, "--id", "same"},
         ",1.000,0.062",
         {head, rule, "| fill-zero | 1.000 | 1.000 | 2 of 2 |", "| fill-random | 1.000 | 1.000 | 2 of 2 |",
          "| copy-move | 1.000 | 1.000 | 2 of 2 |", "| text | 1.000 | 1.000 | 2 of 2 |",
          "| collage | 1.000 | 0.062 | 2 of 2 |"}},
    };
    for (const Run &run : runs) {
        const std::string out = dir.file(std::string("run-") + run.name);
        std::vector<std::string> args = {"evaluate", folder, "--watermark", watermark, "-o", out, "-j", "2"};
        args.insert(args.end(), run.keyArgs.begin(), run.keyArgs.end());
        const Result r = runCli(args);
        ASSERT_EQ(r.code, 0) << run.name << r.err;
        const auto rows = lines(test::readFile(out + "/results.csv"));
        ASSERT_EQ(rows.size(), 1u + 2 * 18) << run.name;
        EXPECT_EQ(rows[0], "cover,threshold,embed_psnr_db,embed_ssim,attack,attack_psnr_db,nc,"
                           "bits_agreeing,tamper_precision,tamper_recall");
        EXPECT_EQ(rows[1].substr(rows[1].size() - 2), ",,") << "none is no tamper: " << rows[1];
        EXPECT_EQ(rows[18].rfind(folder + "/a.bmp,0,", 0), 0u) << rows[18];
        EXPECT_NE(rows[18].find(",collage,"), std::string::npos) << rows[18];
        for (const std::size_t row : {18u, 36u}) {
            const std::string &line = rows[row];
            EXPECT_EQ(line.substr(line.size() - run.collageScores.size()), run.collageScores)
                << run.name << ": " << line;
        }

        const auto summary = lines(test::readFile(out + "/summary.md"));
        const auto at = std::find(summary.begin(), summary.end(), head);
        ASSERT_NE(at, summary.end()) << run.name;
        EXPECT_EQ(std::vector<std::string>(at, summary.end()), run.tamperTable) << run.name;
        EXPECT_NE(std::find(summary.begin(), summary.end(),
                            "Tampers, against the 8x8 blocks in which a pixel changed: mean precision and"),
                  summary.end());
    }

    // One cover has no other to take a region from: no collage row.
    const std::string lone = dir.file("lone");
    ASSERT_EQ(runCli({"evaluate", folder + "/a.bmp", "--watermark", watermark, "-o", lone, "--key-file", key}).code, 0);
    const auto rows = lines(test::readFile(lone + "/results.csv"));
    EXPECT_EQ(rows.size(), 1u + 17);
    EXPECT_EQ(test::readFile(lone + "/results.csv").find("collage"), std::string::npos);
    EXPECT_EQ(test::readFile(lone + "/summary.md").find("collage"), std::string::npos);
}

// Many covers in one call: each is keyed with its own file name (without the
// extension) as id, which the many-file verify and extract take up again, so
// the same pictures marked one at a time with --id give the same bytes.
TEST_F(KeyedTool, ManyFilesAreKeyedWithTheirOwnNames) {
    const std::string covers = dir.file("covers"), marked = dir.file("marked"), found = dir.file("found");
    std::filesystem::create_directory(covers);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(saveBitmap(test::randomImage(1024, 768, 50 + i), covers + "/c" + std::to_string(i) + ".bmp"));
    const Result embedded =
        runCli({"embed", covers, "--watermark", watermark, "-o", marked + "/", "--key-file", key, "-j", "2",
                "--id-from-name"});
    ASSERT_EQ(embedded.code, 0) << embedded.err;

    const std::string one = dir.file("c1-alone.bmp");
    ASSERT_EQ(runCli({"embed", covers + "/c1.bmp", watermark, "-o", one, "--key-file", key, "--id", "c1"}).code, 0);
    EXPECT_EQ(test::readFile(marked + "/c1.bmp"), test::readFile(one)) << "the id is the cover's own name";

    const Result checked = runCli({"verify", marked, "--watermark", watermark, "--key-file", key, "--id-from-name"});
    EXPECT_EQ(checked.code, 0) << checked.out << checked.err;
    // Checked under another picture's name, every block looks altered.
    const Result shared = runCli({"verify", marked, "--watermark", watermark, "--key-file", key, "--id", "c0"});
    EXPECT_EQ(shared.code, 3) << shared.out;

    ASSERT_EQ(runCli({"extract", marked, "-o", found + "/", "--key-file", key, "--id-from-name"}).code, 0);
    const std::string plain = dir.file("plain.bmp"), plainMark = dir.file("plain-mark.bmp");
    ASSERT_EQ(runCli({"embed", covers + "/c2.bmp", watermark, "-o", plain}).code, 0);
    ASSERT_EQ(runCli({"extract", plain, "-o", plainMark}).code, 0);
    EXPECT_EQ(test::readFile(found + "/c2.bmp"), test::readFile(plainMark))
        << "the keyless mark's watermark, from the keyed one";
}

// A key of fixed bytes, so that the counts a keyed verify prints are known.
std::string fixedKey(const test::TempDir &dir) {
    std::string bytes;
    for (int i = 0; i < 32; ++i)
        bytes += static_cast<char>(11 + 29 * i);
    return dir.writePrivate("fixed.key", bytes);
}

// An edit in a top corner, which carries no bit, shows through the carrying
// block its row is hashed with: the report, the box, the CSV and the map
// take in that block's whole span, to the image's edge. An edit in a
// carrying block away from the corners marks that block alone.
TEST_F(KeyedTool, AnEditInACornerMarksTheWholeSpan) {
    const std::string fixed = fixedKey(dir), sealed = dir.file("sealed.bmp");
    ASSERT_EQ(runCli({"embed", cover, watermark, "-o", sealed, "--key-file", fixed, "--id", "P-1"}).code, 0);
    struct Row {
        const char *name;
        int x, y;
        std::string report, csv;
        std::vector<std::pair<int, int>> red, notRed;
    };
    const Row rows[] = {
        {"an edit at (10, 10)", 10, 10,
         "Bits compared: 868035\n"
         "Bits differing: 19 (0.00 %)\n"
         "Pixels with a differing bit: 8\n"
         "Altered 8x8 blocks: 1 of 11968 checked\n"
         "Altered area: x 0..103, y 8..15\n"
         "NC of the extracted watermark: 0.997241\n"
         "altered\n",
         ",altered,868035,19,1,\"x 0..103, y 8..15\"\n",
         {{0, 8}, {10, 10}, {103, 15}},
         {{104, 8}, {0, 7}, {0, 16}}},
        {"an edit in the middle", 402, 301,
         "Bits compared: 868035\n"
         "Bits differing: 50 (0.01 %)\n"
         "Pixels with a differing bit: 30\n"
         "Altered 8x8 blocks: 1 of 11968 checked\n"
         "Altered area: x 400..407, y 296..303\n"
         "NC of the extracted watermark: 0.997283\n"
         "altered\n",
         ",altered,868035,50,1,\"x 400..407, y 296..303\"\n",
         {{400, 296}, {407, 303}},
         {{399, 296}, {408, 303}, {400, 304}}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Image edited = *loadBitmap(sealed);
        edited.at(row.x, row.y) ^= 0x010000;
        const std::string image = dir.file("edited.bmp"), map = dir.file("map.png"), csv = dir.file("v.csv");
        ASSERT_TRUE(saveBitmap(edited, image));
        const Result r = runCli({"verify", image, "--watermark", watermark, "--key-file", fixed, "--id", "P-1",
                                 "--map", map, "--csv", csv});
        EXPECT_EQ(r.code, 3);
        EXPECT_EQ(r.out, "Wrote " + map + "\nWrote " + csv + "\n" + row.report);
        EXPECT_EQ(test::readFile(csv), "image,verdict,bits_compared,bits_differing,blocks_altered,box\n" +
                                           image + row.csv);
        const Image picture = *loadPicture(map);
        auto isRed = [&](int x, int y) { return split(picture.at(x, y)).red > 150 && split(picture.at(x, y)).green < 80; };
        for (const auto &[x, y] : row.red)
            EXPECT_TRUE(isRed(x, y)) << x << ", " << y;
        for (const auto &[x, y] : row.notRed)
            EXPECT_FALSE(isRed(x, y)) << x << ", " << y;
    }
}

// Another key, another id, or a picture never sealed: every block fails,
// and verify says so in its own words, with no area, exit status 3. The
// keyless check of an unmarked picture keeps its word.
TEST_F(KeyedTool, NoBlockMatchesIsToldApart) {
    const std::string fixed = fixedKey(dir), sealed = dir.file("sealed.bmp"), other = dir.file("other.key");
    ASSERT_EQ(runCli({"embed", cover, watermark, "-o", sealed, "--key-file", fixed, "--id", "P-1"}).code, 0);
    {
        std::string bytes;
        for (int i = 0; i < 32; ++i)
            bytes += static_cast<char>(12 + 29 * i);
        dir.writePrivate("other.key", bytes);
    }
    struct Row {
        const char *name;
        std::vector<std::string> args;
        std::string out;
    };
    const Row rows[] = {
        {"another key", {sealed, "--key-file", other, "--id", "P-1"},
         "Bits compared: 868035\n"
         "Bits differing: 434856 (50.10 %)\n"
         "Pixels with a differing bit: 236516\n"
         "Altered 8x8 blocks: 11968 of 11968 checked\n"
         "NC of the extracted watermark: 0.777824\n"
         "no block matches: not sealed with this key and id, or replaced whole\n"},
        {"another id", {sealed, "--key-file", fixed, "--id", "P-2"},
         "Bits compared: 868035\n"
         "Bits differing: 434757 (50.09 %)\n"
         "Pixels with a differing bit: 236391\n"
         "Altered 8x8 blocks: 11968 of 11968 checked\n"
         "NC of the extracted watermark: 0.779094\n"
         "no block matches: not sealed with this key and id, or replaced whole\n"},
        {"never sealed", {cover, "--key-file", fixed, "--id", "P-1"},
         "Bits compared: 868035\n"
         "Bits differing: 433704 (49.96 %)\n"
         "Pixels with a differing bit: 236169\n"
         "Altered 8x8 blocks: 11968 of 11968 checked\n"
         "NC of the extracted watermark: 0.778242\n"
         "no block matches: not sealed with this key and id, or replaced whole\n"},
        {"never marked, keyless", {cover},
         "Bits compared: 868035\n"
         "Bits differing: 434010 (50.00 %)\n"
         "Pixels with a differing bit: 236316\n"
         "Altered 8x8 blocks: 11968 of 11968 checked\n"
         "Altered area: x 0..1023, y 0..767\n"
         "NC of the extracted watermark: 0.777673\n"
         "altered\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> args = {"verify"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        args.insert(args.end(), {"--watermark", watermark});
        const Result r = runCli(args);
        EXPECT_EQ(r.code, 3);
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.err, "");
    }
}

// Many files: a verdict of its own on the line and in the CSV, with no area;
// --quiet prints one verdict line an image and nothing else, and still
// writes the CSV; alone, the verdict line.
TEST_F(KeyedTool, ManyFilesAndQuietSayTheVerdict) {
    const std::string fixed = fixedKey(dir), marked = dir.file("marked");
    std::filesystem::create_directory(marked);
    const std::string a = marked + "/a.bmp", b = marked + "/b.bmp", c = marked + "/c.bmp";
    ASSERT_EQ(runCli({"embed", cover, watermark, "-o", a, "--key-file", fixed, "--id", "a"}).code, 0);
    ASSERT_EQ(runCli({"embed", cover, watermark, "-o", b, "--key-file", fixed, "--id", "not b"}).code, 0);
    ASSERT_EQ(runCli({"embed", cover, watermark, "-o", c, "--key-file", fixed, "--id", "c"}).code, 0);
    Image edited = *loadBitmap(c);
    edited.at(10, 10) ^= 0x010000;
    ASSERT_TRUE(saveBitmap(edited, c));

    const std::string csv = dir.file("verdicts.csv");
    const Result loud = runCli({"verify", marked, "--watermark", watermark, "--key-file", fixed, "-j", "1",
                                "--csv", csv, "--id-from-name"});
    EXPECT_EQ(loud.code, 3);
    EXPECT_EQ(loud.out, a + ": intact, 0 of 868035 bits differing\n" + b +
                            ": no block matches: not sealed with this key and id, or replaced whole, 433648 of "
                            "868035 bits differing\n" +
                            c + ": altered, 21 of 868035 bits differing, altered area x 0..103, y 8..15\n" +
                            "Wrote " + csv + "\n");
    const std::string table = "image,verdict,bits_compared,bits_differing,blocks_altered,box\n" + a +
                              ",intact,868035,0,0,\n" + b + ",no match,868035,433648,11968,\n" + c +
                              ",altered,868035,21,1,\"x 0..103, y 8..15\"\n";
    EXPECT_EQ(test::readFile(csv), table);

    std::filesystem::remove(csv);
    const Result quiet = runCli({"verify", marked, "--watermark", watermark, "--key-file", fixed, "-j", "1",
                                 "--csv", csv, "--quiet", "--id-from-name"});
    EXPECT_EQ(quiet.code, 3);
    EXPECT_EQ(quiet.out, a + ": intact\n" + b +
                             ": no block matches: not sealed with this key and id, or replaced whole\n" + c +
                             ": altered\n");
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(test::readFile(csv), table) << "--quiet still writes the CSV";

    const std::string map = dir.file("map.bmp");
    test::expectQuietVerdicts({
        {"intact", {a, "--key-file", fixed, "--id", "a"}, 0, "intact\n"},
        {"altered, with a map", {c, "--key-file", fixed, "--id", "c", "--map", map}, 3, "altered\n"},
        {"another id", {a, "--key-file", fixed, "--id", "b"}, 3,
         "no block matches: not sealed with this key and id, or replaced whole\n"},
        {"keyless, never marked", {cover}, 3, "altered\n"},
    }, watermark);
    EXPECT_TRUE(std::filesystem::exists(map)) << "--quiet still writes the map";
}

} // namespace
} // namespace ombrel
