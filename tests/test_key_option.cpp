// SPDX-License-Identifier: Apache-2.0
// How the tool takes a keyed mark's key and id: one id rule for every form,
// a key read once from whatever it is given, kept private, and passphrases.

#include "api/ombrel.h"
#include "imaging/picture_in.h"
#include "imaging/picture_out.h"
#include "imaging/sample_images.h"
#include "stego/keyed_mark.h"
#include "support/bmp_builder.h"
#include "support/cli_run.h"
#include "support/cover_fixture.h"
#include "support/folder.h"
#include "support/process.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include <sys/stat.h>

namespace ombrel {
namespace {

using Result = test::RunResult;
using test::runCli;
namespace fs = std::filesystem;

const std::string kTool = OMBREL_BINARY;

std::string hex(std::span<const std::uint8_t> bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t b : bytes)
        text += {digits[b >> 4], digits[b & 15]};
    return text;
}

// A picture as the C++ API takes it: rows of red, green, blue.
ombrel::Pixels pixelsOf(const Image &image, int channels) {
    ombrel::Pixels out(image.width, image.height, channels);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const Channels c = split(image.at(x, y));
            const std::uint8_t values[3] = {static_cast<std::uint8_t>(c.red), static_cast<std::uint8_t>(c.green),
                                            static_cast<std::uint8_t>(c.blue)};
            for (int k = 0; k < channels; ++k)
                out.data[(static_cast<std::size_t>(y) * image.width + x) * channels + k] = values[k];
        }
    return out;
}

Image imageOf(const ombrel::Pixels &p) {
    Image image(p.width, p.height);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const std::uint8_t *v = &p.data[(static_cast<std::size_t>(y) * p.width + x) * 3];
            image.at(x, y) = rgb(v[0], v[1], v[2]);
        }
    return image;
}

class KeyOption : public test::CoverAndWatermark {
protected:
    KeyOption() : CoverAndWatermark(41, "covers/c1.bmp") {}
    void SetUp() override {
        CoverAndWatermark::SetUp();
        covers = dir.file("covers");
        key = dir.file("owner.key");
        ASSERT_EQ(runCli({"keygen", key}).code, 0);
    }

    std::vector<std::string> keyed(std::vector<std::string> args, const std::vector<std::string> &idArgs) const {
        args.insert(args.end(), {"--key-file", key});
        args.insert(args.end(), idArgs.begin(), idArgs.end());
        return args;
    }

    // The tool in a shell, for the key sources only a shell makes.
    Result shell(const std::string &line) const {
        return test::runProgram("/bin/bash", {"-c", "cd '" + dir.path().string() + "' && " + line});
    }

    std::string covers, key;
};

// A picture sealed in any form verifies intact in every other, with the same
// options: the id is "" unless --id says otherwise, or each picture's name.
TEST_F(KeyOption, EveryFormSealedChecksIntactInEveryOtherForm) {
    const std::string secret = test::readFile(key);
    struct Options {
        const char *name;
        std::vector<std::string> cli;
        std::string apiId; // what the library is given for c1
    };
    const Options optionSets[] = {
        {"no id", {}, ""},
        {"--id", {"--id", "print-7"}, "print-7"},
        {"--id-from-name", {"--id-from-name"}, ombrel::idFromName("anywhere/c1.png")},
    };
    EXPECT_EQ(ombrel::idFromName("anywhere/c1.png"), "c1");
    for (const Options &o : optionSets) {
        SCOPED_TRACE(o.name);
        const std::string root = dir.file(std::string("sealed-") + (o.cli.empty() ? "none" : o.cli[0].substr(2)));
        // Sealed three ways, each into a folder of its own, under one name.
        std::vector<std::string> sealed;
        const std::string single = root + "-single/c1.png";
        fs::create_directories(fs::path(single).parent_path());
        ASSERT_EQ(runCli(keyed({"embed", cover, watermark, "-o", single}, o.cli)).code, 0);
        sealed.push_back(single);
        ASSERT_EQ(runCli(keyed({"embed", covers, "--watermark", watermark, "-o", root + "-many"}, o.cli)).code, 0);
        sealed.push_back(root + "-many/c1.bmp");
        {
            const ombrel::Key apiKey{{secret.begin(), secret.end()}, o.apiId};
            const Image picture = *loadPicture(cover);
            const ombrel::Pixels marked = ombrel::mark(pixelsOf(picture, 3), pixelsOf(sampleWatermark(), 1), 0, &apiKey);
            const std::string path = root + "-api/c1.bmp";
            fs::create_directories(fs::path(path).parent_path());
            ASSERT_TRUE(saveBitmap(imageOf(marked), path));
            sealed.push_back(path);
        }
        for (const std::string &picture : sealed) {
            SCOPED_TRACE(picture);
            const Result one = runCli(keyed({"verify", picture, "--watermark", watermark}, o.cli));
            EXPECT_EQ(one.code, 0) << one.out << one.err;
            const Result many = runCli(keyed({"verify", fs::path(picture).parent_path().string(), "--watermark", watermark}, o.cli));
            EXPECT_EQ(many.code, 0) << many.out << many.err;
            const ombrel::Key apiKey{{secret.begin(), secret.end()}, o.apiId};
            EXPECT_TRUE(ombrel::verify(pixelsOf(*loadPicture(picture), 3), pixelsOf(sampleWatermark(), 1), 0, &apiKey).intact);
        }
    }
}

// The key file is opened and read once, so whatever can be read once serves:
// a process substitution for every command, a pipe and a FIFO.
TEST_F(KeyOption, AKeyThatCanBeReadOnlyOnceServesEveryCommand) {
    ASSERT_EQ(runCli({"embed", cover, watermark, "-o", dir.file("sealed.png"), "--key-file", key}).code, 0);
    // A tool that waits for a second reading of its key is stopped, not waited for.
    const std::string k = "<(cat owner.key)", t = "timeout 60 '" + kTool + "'";
    struct Row {
        const char *name;
        std::string line;
    };
    const Row rows[] = {
        {"embed", t + " embed covers/c1.bmp watermark.bmp -o again.png --key-file " + k},
        {"embed, many", t + " embed covers --watermark watermark.bmp -o many --key-file " + k},
        {"verify", t + " verify sealed.png --watermark watermark.bmp --key-file " + k},
        {"verify, many", t + " verify sealed.png again.png --watermark watermark.bmp --key-file " + k},
        {"extract", t + " extract sealed.png -o found.png --key-file " + k},
        {"extract, many", t + " extract sealed.png again.png -o found/ --key-file " + k},
        {"attack", t + " attack sealed.png --watermark watermark.bmp --key-file " + k},
        {"evaluate", t + " evaluate covers --watermark watermark.bmp -o eval --key-file " + k},
        {"a pipe", "cat owner.key | " + t + " verify sealed.png --watermark watermark.bmp --key-file /dev/stdin"},
        {"a FIFO", "mkfifo key.fifo && { cat owner.key > key.fifo & } && " + t +
                       " embed covers/c1.bmp watermark.bmp -o fifo.png --key-file key.fifo"},
    };
    for (const Row &row : rows) {
        const Result r = shell(row.line);
        EXPECT_EQ(r.code, 0) << row.name << "\n" << r.out << r.err;
    }
    // What a pipe gave is the key itself: the same bytes as the file gave.
    EXPECT_EQ(test::readFile(dir.file("again.png")), test::readFile(dir.file("sealed.png")));
    EXPECT_EQ(test::readFile(dir.file("fifo.png")), test::readFile(dir.file("sealed.png")));
}

// Like an ssh private key, a key file that others can read or write is
// refused in one line, before anything is written; a pipe has no such mode.
TEST_F(KeyOption, AKeyFileOthersCanReachIsRefused) {
    struct Row {
        mode_t mode;
        bool usable;
    };
    const Row rows[] = {{0600, true}, {0400, true}, {0700, true}, {0640, false},
                        {0620, false}, {0604, false}, {0602, false}, {0666, false}};
    const std::string out = dir.file("out.png");
    for (const Row &row : rows) {
        SCOPED_TRACE(row.mode);
        ASSERT_EQ(::chmod(key.c_str(), row.mode), 0);
        const Result r = runCli({"embed", cover, watermark, "-o", out, "--key-file", key});
        EXPECT_EQ(r.code, row.usable ? 0 : 1) << r.err;
        EXPECT_EQ(fs::exists(out), row.usable);
        fs::remove(out);
    }
    ASSERT_EQ(::chmod(key.c_str(), 0644), 0);
    const Result r = runCli({"verify", cover, "--watermark", watermark, "--key-file", key});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, key + ": other users can read or write this key file (mode 0644); chmod 600 " + key +
                         " makes it yours alone\n");
    EXPECT_EQ(r.out, "");

    const std::string pass = dir.write("pass.txt", "correct horse\n");
    const Result p = runCli({"verify", cover, "--watermark", watermark, "--passphrase-file", pass});
    EXPECT_EQ(p.code, 1);
    EXPECT_EQ(p.err, pass + ": other users can read or write this passphrase file (mode 0644); chmod 600 " +
                         pass + " makes it yours alone\n");
}

// A passphrase becomes the key through Argon2id with exactly these
// parameters, which are part of the format; the first line of the file is the
// passphrase, and a picture sealed with it verifies with the key it made.
TEST_F(KeyOption, APassphraseIsArgon2idOfItsFirstLine) {
    const std::string phrase = "correct horse battery";
    unsigned char expected[32];
    ASSERT_EQ(sodium_init() >= 0, true);
    ASSERT_EQ(crypto_pwhash(expected, sizeof expected, phrase.data(), phrase.size(),
                            reinterpret_cast<const unsigned char *>("ombrel-passkey-1"), 3, 268435456,
                            crypto_pwhash_ALG_ARGON2ID13),
              0);
    const SecretBytes key = keyFromPassphrase({reinterpret_cast<const std::uint8_t *>(phrase.data()), phrase.size()});
    EXPECT_EQ(hex(key), hex(expected));

    const std::string lf = dir.writePrivate("lf.txt", phrase + "\nnot this line\n");
    const std::string crlf = dir.writePrivate("crlf.txt", phrase + "\r\n");
    const std::string bare = dir.writePrivate("bare.txt", phrase);
    const std::string made = dir.writePrivate("made.key", std::string(key.begin(), key.end()));
    const std::string sealed = dir.file("sealed.png");
    ASSERT_EQ(runCli({"embed", cover, watermark, "-o", sealed, "--passphrase-file", lf, "--id", "p"}).code, 0);
    for (const auto &args : std::vector<std::vector<std::string>>{
             {"--passphrase-file", crlf}, {"--passphrase-file", bare}, {"--key-file", made}}) {
        std::vector<std::string> line{"verify", sealed, "--watermark", watermark, "--id", "p"};
        line.insert(line.end(), args.begin(), args.end());
        const Result r = runCli(line);
        EXPECT_EQ(r.code, 0) << args[1] << r.out;
    }

    const std::string empty = dir.writePrivate("empty.txt", "\nsecret on the second line\n");
    const Result e = runCli({"verify", sealed, "--watermark", watermark, "--passphrase-file", empty});
    EXPECT_EQ(e.code, 1);
    EXPECT_EQ(e.err, empty + ": the passphrase file's first line is empty\n");
}

// --passphrase asks on the terminal, without echo, twice when sealing; with
// no terminal it is a usage error that names the other way.
TEST_F(KeyOption, APassphraseIsTypedAtTheTerminalWithoutEcho) {
    const std::string sealed = dir.file("typed.png"), out = dir.file("out.txt"), err = dir.file("err.txt");
    {
        test::Child child = test::Child::behindTerminal(
            kTool, {"embed", cover, watermark, "-o", sealed, "--passphrase", "--id", "p"}, out, err);
        ASSERT_TRUE(child.waitToShow("Passphrase: ", std::chrono::seconds(20))) << child.screen();
        child.type("tr0ub4dor\n");
        ASSERT_TRUE(child.waitToShow("The same passphrase again: ", std::chrono::seconds(20))) << child.screen();
        child.type("tr0ub4dor\n");
        const test::Ending end = child.wait();
        EXPECT_TRUE(end.exited);
        EXPECT_EQ(end.status, 0) << test::readFile(err);
        EXPECT_EQ(child.screen().find("tr0ub4dor"), std::string::npos) << "echoed: " << child.screen();
    }
    const std::string pass = dir.writePrivate("pass.txt", "tr0ub4dor\n");
    EXPECT_EQ(runCli({"verify", sealed, "--watermark", watermark, "--passphrase-file", pass, "--id", "p"}).code, 0);

    {
        test::Child child = test::Child::behindTerminal(
            kTool, {"embed", cover, watermark, "-o", dir.file("slip.png"), "--passphrase"}, out, err);
        ASSERT_TRUE(child.waitToShow("Passphrase: ", std::chrono::seconds(20)));
        child.type("tr0ub4dor\n");
        ASSERT_TRUE(child.waitToShow("again: ", std::chrono::seconds(20)));
        child.type("tr0ub4door\n");
        const test::Ending end = child.wait();
        EXPECT_EQ(end.status, 1);
        EXPECT_EQ(test::readFile(err), "the two passphrases differ; nothing was marked\n");
        EXPECT_FALSE(fs::exists(dir.file("slip.png")));
    }

    const Result none = shell("setsid '" + kTool + "' verify typed.png --watermark watermark.bmp --passphrase < /dev/null");
    EXPECT_EQ(none.code, 2);
    EXPECT_EQ(none.err.substr(0, none.err.find('\n')),
              "ombrel verify: --passphrase asks on a terminal, and there is none: give --passphrase-file FILE");
}

// The key's options that make no sense together are usage errors.
TEST_F(KeyOption, KeyOptionsThatExcludeEachOtherAreUsageErrors) {
    const std::string pass = dir.writePrivate("pass.txt", "words\n");
    struct Row {
        std::vector<std::string> args;
        const char *first;
    };
    const Row rows[] = {
        {{"--key-file", key, "--passphrase-file", pass},
         "--key-file, --passphrase and --passphrase-file exclude each other"},
        {{"--key-file", key, "--passphrase"}, "--key-file, --passphrase and --passphrase-file exclude each other"},
        {{"--key-file", key, "--id", "a", "--id-from-name"}, "--id and --id-from-name exclude each other"},
        {{"--id-from-name"}, "--id-from-name needs --key-file"},
    };
    for (const Row &row : rows) {
        std::vector<std::string> line{"verify", cover, "--watermark", watermark};
        line.insert(line.end(), row.args.begin(), row.args.end());
        const Result r = runCli(line);
        EXPECT_EQ(r.code, 2) << row.first;
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')), std::string("ombrel verify: ") + row.first);
    }
}

// evaluate gives each cover the id of its name; two covers whose names
// would give them one id are warned of, since a collage between them hides.
TEST_F(KeyOption, EvaluateWarnsOfCoversThatShareAnId) {
    fs::create_directory(dir.file("more"));
    const Image other = test::randomImage(1024, 768, 42);
    ASSERT_TRUE(savePictures({{&other, dir.file("more/c1.png"), PictureKind::Rgb24, FileFormat::Png}}));
    const Result r = runCli({"evaluate", cover, dir.file("more/c1.png"), "--watermark", watermark, "-o",
                             dir.file("eval"), "--key-file", key, "-j", "1"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "warning: " + cover + " and " + dir.file("more/c1.png") +
                         " share the id \"c1\": a region pasted from one into the other would go unseen\n");
    const Result shared = runCli({"evaluate", cover, dir.file("more/c1.png"), "--watermark", watermark, "-o",
                                  dir.file("eval2"), "--key-file", key, "--id", "one", "-j", "1"});
    EXPECT_EQ(shared.code, 0);
    EXPECT_EQ(shared.err, "") << "one id for all was asked for";
}

} // namespace
} // namespace ombrel
