// SPDX-License-Identifier: Apache-2.0
// The image libraries' own words stay off the terminal: in this process,
// and from the real tool.
#include "imaging/picture_in.h"
#include "imaging/picture_out.h"
#include "support/bmp_builder.h"
#include "support/folder.h"
#include "support/process.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace ombrel {
namespace {

// What reaches the process's stderr while f runs: the terminal's view.
template <typename F>
std::string stderrDuring(const test::TempDir &dir, F f) {
    const std::string path = dir.file("stderr.txt");
    const int capture = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(capture, STDERR_FILENO);
    f();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    ::close(capture);
    return test::readFile(path);
}

std::uint32_t crc32(const QByteArray &bytes) {
    std::uint32_t crc = 0xffffffffu;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

QByteArray bigEndian(std::uint32_t v) {
    QByteArray b(4, 0);
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>(v >> (24 - 8 * i));
    return b;
}

// A PNG whose colour profile libpng warns about, and reads all the same: an
// iCCP chunk after the header holding a profile too short to be one.
std::string pngWithABadProfile(const std::string &png) {
    const QByteArray profile = qCompress(QByteArray(132, 0)).mid(4); // zlib without Qt's length
    const QByteArray chunk = QByteArray("iCCP") + QByteArray("bogus\0\0", 7) + profile;
    const std::size_t afterHeader = 8 + 4 + 4 + 13 + 4;
    return png.substr(0, afterHeader) + bigEndian(static_cast<std::uint32_t>(chunk.size() - 4)).toStdString() +
           chunk.toStdString() + bigEndian(crc32(chunk)).toStdString() + png.substr(afterHeader);
}

TEST(QuietStderr, TheLibrariesWarningsNeverReachTheTerminal) {
    keepLibraryNoiseOffStderr(); // as the tool and the desktop program ask
    test::TempDir dir;
    const Image image = test::randomImage(300, 200, 11);
    ASSERT_TRUE(savePictures({{&image, dir.file("a.png"), PictureKind::Rgb24, FileFormat::Png},
                              {&image, dir.file("a.tif"), PictureKind::Rgb24, FileFormat::Tiff}}));
    const std::string png = test::readFile(dir.file("a.png"));
    const std::string tif = test::readFile(dir.file("a.tif"));
    const std::string profiled = dir.write("profiled.png", pngWithABadProfile(png));
    const std::string shortTif = dir.write("short.tif", tif.substr(0, tif.size() / 2));
    const std::string shortPng = dir.write("short.png", png.substr(0, png.size() / 2));

    std::optional<LoadedPicture> read, tiff, truncated;
    const std::string said = stderrDuring(dir, [&] {
        read = loadPicture(profiled);
        tiff = loadPicture(shortTif);
        truncated = loadPicture(shortPng);
    });
    EXPECT_EQ(said, "");
    ASSERT_TRUE(*read) << read->error().message();
    EXPECT_TRUE(**read == image);
    // A refusal keeps the library's last words where they help.
    ASSERT_FALSE(*tiff);
    EXPECT_EQ(tiff->error().problem, FileProblem::Undecodable);
    EXPECT_EQ(tiff->error().message().rfind(shortTif + ": not a readable picture (Unable to read image data; TIFF", 0), 0u)
        << tiff->error().message();
    ASSERT_FALSE(*truncated);
    EXPECT_EQ(truncated->error().message(),
              shortPng + ": not a readable picture (Unable to read image data; libpng error: Read Error)");
    // Once the reading is done, stderr is the terminal's again.
    EXPECT_EQ(stderrDuring(dir, [] { std::fputs("ours\n", stderr); }), "ours\n");
}

// What the host's own Qt message handler was told.
std::vector<std::string> heard;
void hostHandler(QtMsgType, const QMessageLogContext &, const QString &message) {
    heard.push_back(message.toStdString());
    std::fputs(("host heard: " + message.toStdString() + "\n").c_str(), stderr);
}

// A program that links the picture files and never asks keeps its stderr and
// its Qt message handler while a picture loads; one that asks gets the quiet.
TEST(QuietStderr, TheHostsStderrAndMessageHandlerAreTouchedOnlyWhenItAsks) {
    struct Row {
        const char *name;
        bool asked;
        std::vector<std::string> heard;
        std::string stderrSaid, refusal;
    };
    const Row rows[] = {
        {"never asked", false, {"libpng warning: xxxx: chunk data is too large"},
         "host heard: libpng warning: xxxx: chunk data is too large\nlibpng error: Read Error\n",
         ": not a readable picture (Unable to read image data)"},
        {"asked", true, {}, "", ": not a readable picture (Unable to read image data; libpng error: Read Error)"},
    };
    test::TempDir dir;
    // A PNG signature and then nonsense: libpng warns through Qt's messages
    // about the chunk it cannot be, then says why it gives up on stderr itself.
    const std::string shortPng = dir.write("short.png", "\x89PNG\r\n\x1a\nxxxxxxxxxxxxxxxxxxxx");
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        keepLibraryNoiseOffStderr(row.asked);
        heard.clear();
        const QtMessageHandler before = qInstallMessageHandler(hostHandler);
        std::optional<LoadedPicture> read;
        const std::string said = stderrDuring(dir, [&] { read = loadPicture(shortPng); });
        EXPECT_EQ(qInstallMessageHandler(before), hostHandler);
        EXPECT_EQ(heard, row.heard);
        EXPECT_EQ(said, row.stderrSaid);
        ASSERT_FALSE(*read);
        EXPECT_EQ(read->error().message(), shortPng + row.refusal);
    }
    keepLibraryNoiseOffStderr();
}

// The tool's own refusal is the only line a person sees.
TEST(QuietStderr, TheToolSaysOneLineAndNothingOfTheLibraries) {
    test::TempDir dir;
    const Image image = test::randomImage(1024, 768, 12);
    ASSERT_TRUE(savePictures({{&image, dir.file("a.png"), PictureKind::Rgb24, FileFormat::Png},
                              {&image, dir.file("a.tif"), PictureKind::Rgb24, FileFormat::Tiff}}));
    const std::string tif = test::readFile(dir.file("a.tif"));
    const std::string profiled = dir.write("profiled.png", pngWithABadProfile(test::readFile(dir.file("a.png"))));
    const std::string shortTif = dir.write("short.tif", tif.substr(0, tif.size() / 2));

    const auto read = test::runProgram(OMBREL_BINARY, {"compare", profiled, dir.file("a.png")});
    EXPECT_EQ(read.code, 0);
    EXPECT_EQ(read.err, "");
    EXPECT_EQ(read.out.rfind("PSNR: inf dB (identical)\n", 0), 0u) << read.out;

    const auto refused = test::runProgram(OMBREL_BINARY, {"compare", shortTif, dir.file("a.png")});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.err.rfind(shortTif + ": not a readable picture (Unable to read image data; TIFF", 0), 0u)
        << refused.err;
    EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
}

} // namespace
} // namespace ombrel
