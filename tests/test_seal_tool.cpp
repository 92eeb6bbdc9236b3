// SPDX-License-Identifier: Apache-2.0
// `ombrel seal` and `ombrel check`, the real tool in processes of its own, on
// a real photograph: sealed as 8-bit PNG and 16-bit TIFF it checks intact,
// and every kind of tampering shows in exactly the units it changed.

#include "imaging/sampled_picture.h"
#include "stego/seal.h"
#include "support/folder.h"
#include "support/process.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

namespace ombrel {
namespace {

using test::linesOf;
using test::readFile;
using test::RunResult;

const std::string kTool = OMBREL_BINARY;
const std::string kPhoto = "/usr/lib/python3/dist-packages/skimage/data/astronaut.png";
const std::string kGreyPhoto = "/usr/lib/python3/dist-packages/skimage/data/camera.png";
const std::string kNoMatch = "no unit matches: not sealed with this key, id and size, or replaced whole";

RunResult tool(const std::vector<std::string> &args) { return test::runProgram(kTool, args); }

SampledPicture load(const std::string &path) {
    LoadedSamples loaded = loadSamples(path);
    EXPECT_TRUE(loaded) << loaded.error().message();
    return loaded ? std::move(*loaded) : SampledPicture{};
}

void save(const SampledPicture &p, const std::string &path) {
    const auto format = formatForName(path);
    ASSERT_TRUE(format);
    const auto saved = saveSamples(p, path, *format, Durability::Renamed);
    ASSERT_TRUE(saved) << saved.error().message();
}

void set(SampledPicture &p, std::size_t i, unsigned v) {
    if (p.bitDepth == 16)
        p.wide[i] = static_cast<std::uint16_t>(v);
    else
        p.narrow[i] = static_cast<std::uint8_t>(v);
}
std::size_t sampleAt(const SampledPicture &p, int x, int y, int c) {
    return (static_cast<std::size_t>(y) * p.width + x) * p.channels + c;
}
unsigned maxSample(const SampledPicture &p) { return p.bitDepth == 16 ? 65535u : 255u; }

// The 8-bit photograph widened to 16 bits with a low byte of its own, as a
// scanner's or a raw converter's would be.
SampledPicture widened(const SampledPicture &p) {
    SampledPicture w = p;
    w.bitDepth = 16;
    w.narrow.clear();
    w.wide.resize(p.samples());
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            for (int c = 0; c < p.channels; ++c) {
                const std::size_t i = sampleAt(p, x, y, c);
                w.wide[i] = static_cast<std::uint16_t>(p.narrow[i] << 8 | ((x * 31 + y * 17 + c * 7) & 0xff));
            }
    return w;
}

// Unit numbers (row by row) whose samples differ between a and b.
std::set<int> changedUnits(const SampledPicture &a, const SampledPicture &b) {
    const SealUnits u = sealUnits(a.width, a.height);
    std::set<int> changed;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            for (int c = 0; c < a.channels; ++c)
                if (a.at(sampleAt(a, x, y, c)) != b.at(sampleAt(b, x, y, c)))
                    changed.insert(std::min(y / 8, u.down - 1) * u.across + std::min(x / 8, u.across - 1));
    return changed;
}

// The units a map marks red: every pixel of a unit is red or none is.
std::set<int> markedUnits(const std::string &map, int width, int height) {
    const QImage image(QString::fromStdString(map));
    EXPECT_EQ(image.width(), width);
    EXPECT_EQ(image.height(), height);
    const SealUnits u = sealUnits(width, height);
    std::set<int> marked;
    for (int uy = 0; uy < u.down; ++uy)
        for (int ux = 0; ux < u.across; ++ux) {
            const auto red = [&](int x, int y) {
                const QRgb c = image.pixel(x, y);
                return qRed(c) >= 200 && qGreen(c) < 64;
            };
            const int right = u.left(ux) + u.unitWidth(ux) - 1, bottom = u.top(uy) + u.unitHeight(uy) - 1;
            const bool first = red(u.left(ux), u.top(uy));
            EXPECT_EQ(red(right, bottom), first) << "unit " << ux << ", " << uy << " marked whole";
            if (first)
                marked.insert(uy * u.across + ux);
        }
    return marked;
}

// The tampering a forger or an accident does to a photograph.
void fill(SampledPicture &p, int left, int top, int w, int h, const std::function<unsigned()> &value) {
    for (int y = top; y < top + h; ++y)
        for (int x = left; x < left + w; ++x)
            for (int c = 0; c < p.channels; ++c)
                set(p, sampleAt(p, x, y, c), value());
}

void copyRegion(SampledPicture &to, const SampledPicture &from, int sx, int sy, int dx, int dy, int w, int h) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < to.channels; ++c)
                set(to, sampleAt(to, dx + x, dy + y, c), from.at(sampleAt(from, sx + x, sy + y, c)));
}

QGuiApplication &gui() {
    static int argc = 1;
    static char name[] = "test_seal_tool";
    static char *argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    return app;
}

// White letters painted over the picture, as a caption or a changed date.
void drawText(SampledPicture &p, int left, int top) {
    gui();
    QImage mask(p.width, p.height, QImage::Format_ARGB32);
    mask.fill(Qt::transparent);
    {
        QPainter painter(&mask);
        QFont font("DejaVu Sans");
        font.setPixelSize(30);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(left, top + 30, "1969");
    }
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (qAlpha(mask.pixel(x, y)) > 127)
                for (int c = 0; c < p.channels; ++c)
                    set(p, sampleAt(p, x, y, c), maxSample(p));
}

void blur(SampledPicture &p, int left, int top, int w, int h) {
    const SampledPicture before = p;
    for (int y = top; y < top + h; ++y)
        for (int x = left; x < left + w; ++x)
            for (int c = 0; c < p.channels; ++c) {
                unsigned sum = 0;
                for (int dy = -2; dy <= 2; ++dy)
                    for (int dx = -2; dx <= 2; ++dx)
                        sum += before.at(sampleAt(before, x + dx, y + dy, c));
                set(p, sampleAt(p, x, y, c), sum / 25);
            }
}

SampledPicture cropped(const SampledPicture &p, int cut) {
    SampledPicture c = p;
    c.width = p.width - cut;
    (c.bitDepth == 16 ? c.wide.resize(c.samples()) : c.narrow.resize(c.samples()));
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            for (int k = 0; k < c.channels; ++k)
                set(c, sampleAt(c, x, y, k), p.at(sampleAt(p, x + cut, y, k)));
    return c;
}

SampledPicture mirrored(const SampledPicture &p) {
    SampledPicture m = p;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            for (int c = 0; c < p.channels; ++c)
                set(m, sampleAt(m, x, y, c), p.at(sampleAt(p, p.width - 1 - x, y, c)));
    return m;
}

class SealTool : public ::testing::Test {
protected:
    void SetUp() override {
        key = dir.file("owner.key");
        ASSERT_EQ(tool({"keygen", key}).code, 0);
    }
    RunResult seal(const std::string &in, const std::string &out, const std::string &id) const {
        return tool({"seal", in, "-o", out, "--key-file", key, "--id", id});
    }
    RunResult check(const std::string &in, const std::string &id, std::vector<std::string> more = {}) const {
        std::vector<std::string> args = {"check", in, "--key-file", key, "--id", id};
        args.insert(args.end(), more.begin(), more.end());
        return tool(args);
    }

    test::TempDir dir;
    std::string key;
};

// The whole promise on a photograph, in the two files photographers keep.
TEST_F(SealTool, EveryTamperShowsInExactlyTheUnitsItChanged) {
    const SampledPicture photo = load(kPhoto);
    ASSERT_EQ(photo.channels, 3);
    ASSERT_EQ(photo.bitDepth, 8);
    struct Kind {
        const char *name;
        std::string extension;
        SampledPicture original;
    };
    const Kind kinds[] = {{"8-bit PNG", ".png", photo}, {"16-bit TIFF", ".tif", widened(photo)}};
    for (const Kind &kind : kinds) {
        SCOPED_TRACE(kind.name);
        const std::string original = dir.file("photo" + kind.extension);
        save(kind.original, original);
        const std::string sealedPath = dir.file("sealed" + kind.extension);
        const RunResult sealed = seal(original, sealedPath, "astronaut");
        ASSERT_EQ(sealed.code, 0) << sealed.err;
        EXPECT_EQ(sealed.err, "");
        const RunResult intact = check(sealedPath, "astronaut");
        EXPECT_EQ(intact.code, 0);
        EXPECT_EQ(intact.out, "Units: 4096 (64 across, 64 down)\nAltered units: 0 of 4096 checked\nintact\n");
        const SampledPicture s = load(sealedPath);
        EXPECT_EQ(s.bitDepth, kind.original.bitDepth);

        // Another picture sealed with the same key and another id, for the collage.
        const std::string otherPath = dir.file("other" + kind.extension);
        save(mirrored(kind.original), dir.file("mirror" + kind.extension));
        ASSERT_EQ(seal(dir.file("mirror" + kind.extension), otherPath, "another-photo").code, 0);
        const SampledPicture other = load(otherPath);

        std::mt19937 random(5);
        struct Tamper {
            const char *name;
            std::function<void(SampledPicture &)> apply;
        };
        const Tamper tampers[] = {
            {"black fill", [](SampledPicture &p) { fill(p, 101, 53, 60, 41, [] { return 0u; }); }},
            {"white fill", [](SampledPicture &p) { fill(p, 300, 301, 17, 90, [&] { return maxSample(p); }); }},
            {"random fill",
             [&](SampledPicture &p) { fill(p, 7, 400, 100, 9, [&] { return random() & maxSample(p); }); }},
            {"copy-move", [](SampledPicture &p) { copyRegion(p, SampledPicture(p), 10, 10, 250, 130, 70, 33); }},
            {"text", [](SampledPicture &p) { drawText(p, 380, 20); }},
            {"blur", [](SampledPicture &p) { blur(p, 200, 180, 45, 27); }},
            {"collage", [&](SampledPicture &p) { copyRegion(p, other, 128, 256, 128, 256, 96, 64); }},
            {"one pixel", [](SampledPicture &p) { set(p, sampleAt(p, 511, 511, 2), p.at(sampleAt(p, 511, 511, 2)) ^ 4); }},
        };
        for (const Tamper &tamper : tampers) {
            SCOPED_TRACE(tamper.name);
            SampledPicture copy = s;
            tamper.apply(copy);
            const std::set<int> changed = changedUnits(s, copy);
            ASSERT_FALSE(changed.empty());
            const std::string path = dir.file("tampered" + kind.extension), map = dir.file("map.png");
            save(copy, path);
            const RunResult r = check(path, "astronaut", {"--map", map, "--csv", dir.file("one.csv")});
            EXPECT_EQ(r.code, 3);
            const auto said = linesOf(r.out);
            ASSERT_GE(said.size(), 2u);
            EXPECT_EQ(said.back(), "altered");
            EXPECT_EQ(markedUnits(map, 512, 512), changed);
            const auto rows = linesOf(readFile(dir.file("one.csv")));
            ASSERT_EQ(rows.size(), 2u);
            EXPECT_EQ(rows[1].substr(0, rows[1].find(",\"x")),
                      path + ",altered,4096," + std::to_string(changed.size()));
        }

        // A crop or a one-pixel shift fails as a whole.
        SampledPicture shifted = s;
        copyRegion(shifted, s, 0, 0, 1, 0, 511, 512);
        const std::pair<const char *, SampledPicture> wholes[] = {{"crop", cropped(s, 8)}, {"shift", shifted}};
        for (const auto &[name, copy] : wholes) {
            SCOPED_TRACE(name);
            const std::string path = dir.file("whole" + kind.extension), map = dir.file("whole-map.png");
            save(copy, path);
            const RunResult r = check(path, "astronaut", {"--map", map});
            EXPECT_EQ(r.code, 3);
            const int units = copy.width / 8 * 64;
            EXPECT_EQ(r.out, "Wrote " + map + "\nUnits: " + std::to_string(units) + " (" +
                                 std::to_string(copy.width / 8) + " across, 64 down)\nAltered units: " +
                                 std::to_string(units) + " of " + std::to_string(units) + " checked\n" + kNoMatch +
                                 "\n");
            EXPECT_EQ(markedUnits(map, copy.width, 512).size(), static_cast<std::size_t>(units));
        }
    }
}

// The report in full for one region, the box on unit edges.
TEST_F(SealTool, TheReportNamesTheUnitsAndTheirBox) {
    save(load(kPhoto), dir.file("photo.png"));
    ASSERT_EQ(seal(dir.file("photo.png"), dir.file("sealed.png"), "a").code, 0);
    SampledPicture p = load(dir.file("sealed.png"));
    fill(p, 300, 301, 17, 90, [] { return 255u; }); // x 300..316, y 301..390
    save(p, dir.file("white.png"));
    const RunResult r = check(dir.file("white.png"), "a");
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out, "Units: 4096 (64 across, 64 down)\n"
                     "Altered units: 36 of 4096 checked\n"
                     "Altered area: x 296..319, y 296..391\n"
                     "altered\n");
    const RunResult quiet = check(dir.file("white.png"), "a", {"--quiet"});
    EXPECT_EQ(quiet.code, 3);
    EXPECT_EQ(quiet.out, "altered\n");
}

TEST_F(SealTool, AnotherKeyOrIdMatchesNoUnit) {
    save(load(kPhoto), dir.file("photo.png"));
    const std::string sealed = dir.file("sealed.png");
    ASSERT_EQ(seal(dir.file("photo.png"), sealed, "photo-1").code, 0);
    const std::string otherKey = dir.file("other.key");
    ASSERT_EQ(tool({"keygen", otherKey}).code, 0);
    const std::string passphrase = dir.writePrivate("pass", "a passphrase nobody guesses\n");
    struct Row {
        const char *name;
        std::vector<std::string> args;
        int code;
        std::string out;
    };
    const Row rows[] = {
        {"the key and id", {"--key-file", key, "--id", "photo-1"}, 0, "intact\n"},
        {"another id", {"--key-file", key, "--id", "photo-2"}, 3, kNoMatch + "\n"},
        {"no id", {"--key-file", key}, 3, kNoMatch + "\n"},
        {"another key", {"--key-file", otherKey, "--id", "photo-1"}, 3, kNoMatch + "\n"},
        {"a passphrase", {"--passphrase-file", passphrase, "--id", "photo-1"}, 3, kNoMatch + "\n"},
        {"the id by name", {"--key-file", key, "--id-from-name"}, 3, kNoMatch + "\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> args = {"check", sealed, "--quiet"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const RunResult r = tool(args);
        EXPECT_EQ(r.code, row.code);
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.err, "");
    }
    // Sealed by its name, checked by its name; a passphrase seals too.
    ASSERT_EQ(tool({"seal", dir.file("photo.png"), "-o", dir.file("named.png"), "--key-file", key, "--id-from-name"})
                  .code,
              0);
    EXPECT_EQ(tool({"check", dir.file("named.png"), "--key-file", key, "--id", "named", "--quiet"}).out,
              "intact\n");
    ASSERT_EQ(tool({"seal", dir.file("photo.png"), "-o", dir.file("pass.png"), "--passphrase-file", passphrase})
                  .code,
              0);
    EXPECT_EQ(tool({"check", dir.file("pass.png"), "--passphrase-file", passphrase, "--quiet"}).out, "intact\n");
}

// Grey, grey and alpha, RGBA: every colour sample may carry a bit, alpha
// none, and a change to alpha shows all the same.
TEST_F(SealTool, EveryLayoutSealsWithAlphaHashedNeverWritten) {
    const SampledPicture photo = load(kPhoto);
    const SampledPicture grey = load(kGreyPhoto);
    ASSERT_EQ(grey.channels, 1);
    const auto withAlpha = [](const SampledPicture &p) {
        SampledPicture a = p;
        a.channels = p.channels + 1;
        a.narrow.clear();
        a.wide.clear();
        (a.bitDepth == 16 ? a.wide.resize(a.samples()) : a.narrow.resize(a.samples()));
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                for (int c = 0; c < p.channels; ++c)
                    set(a, sampleAt(a, x, y, c), p.at(sampleAt(p, x, y, c)));
                set(a, sampleAt(a, x, y, p.channels), (x * 3 + y) & maxSample(a));
            }
        return a;
    };
    struct Row {
        const char *name;
        SampledPicture picture;
        std::string extension;
        double psnrFrom, psnrTo;
    };
    const Row rows[] = {
        {"grey 8-bit PNG", grey, ".png", 50.5, 51.5},
        {"grey 8-bit PGM", grey, ".pgm", 50.5, 51.5},
        {"grey and alpha 16-bit PNG", withAlpha(widened(grey)), ".png", 101, 103},
        {"RGB 8-bit PPM", photo, ".ppm", 55.5, 56.5},
        {"RGB 8-bit BMP", photo, ".bmp", 55.5, 56.5},
        {"RGBA 8-bit PNG", withAlpha(photo), ".png", 56.5, 58},
        {"RGBA 16-bit TIFF", withAlpha(widened(photo)), ".tif", 104, 106},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string in = dir.file("in" + row.extension), out = dir.file("out" + row.extension);
        save(row.picture, in);
        const RunResult r = seal(in, out, "x");
        ASSERT_EQ(r.code, 0) << r.err;
        const auto said = linesOf(r.out);
        ASSERT_EQ(said.size(), 2u);
        EXPECT_EQ(said[0], "Wrote " + out);
        const std::string prefix = "PSNR of the sealed picture against the picture: ";
        ASSERT_EQ(said[1].substr(0, prefix.size()), prefix);
        const double psnr = std::stod(said[1].substr(prefix.size()));
        EXPECT_GT(psnr, row.psnrFrom);
        EXPECT_LT(psnr, row.psnrTo);
        EXPECT_EQ(check(out, "x", {"--quiet"}).out, "intact\n");

        SampledPicture s = load(out);
        ASSERT_EQ(s.channels, row.picture.channels);
        ASSERT_EQ(s.bitDepth, row.picture.bitDepth);
        const int colour = s.hasAlpha() ? s.channels - 1 : s.channels;
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x)
                for (int c = 0; c < s.channels; ++c) {
                    const std::size_t i = sampleAt(s, x, y, c);
                    const unsigned was = row.picture.at(i), is = s.at(i);
                    const bool carrier = c == (x + y) % colour;
                    ASSERT_EQ(carrier ? is | 1u : is, carrier ? was | 1u : was) << x << ", " << y << ", " << c;
                }
        // Sealing a sealed picture changes nothing.
        const RunResult again = seal(out, dir.file("again" + row.extension), "x");
        EXPECT_EQ(linesOf(again.out).back(), "PSNR of the sealed picture against the picture: inf dB (identical)");
        EXPECT_EQ(readFile(dir.file("again" + row.extension)), readFile(out));
        if (s.hasAlpha()) {
            set(s, sampleAt(s, 100, 70, s.channels - 1), s.at(sampleAt(s, 100, 70, s.channels - 1)) ^ 1);
            save(s, dir.file("alpha" + row.extension));
            const RunResult r2 = check(dir.file("alpha" + row.extension), "x");
            EXPECT_EQ(r2.code, 3);
            EXPECT_NE(r2.out.find("Altered units: 1 of 4096 checked\nAltered area: x 96..103, y 64..71\n"),
                      std::string::npos)
                << r2.out;
        }
    }
}

// Pictures smaller than a block: one unit, its odds those of its pixels.
TEST_F(SealTool, TinyPicturesAreOneUnit) {
    struct Row {
        const char *name;
        int width, height, channels;
        std::string units;
    };
    const Row rows[] = {
        {"1x1 grey", 1, 1, 1, "Units: 1 (1 across, 1 down)"},
        {"7x5 RGB", 7, 5, 3, "Units: 1 (1 across, 1 down)"},
        {"9x17 RGB", 9, 17, 3, "Units: 2 (1 across, 2 down)"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        SampledPicture p;
        p.width = row.width;
        p.height = row.height;
        p.channels = row.channels;
        p.narrow.assign(p.samples(), 0);
        for (std::size_t i = 0; i < p.narrow.size(); ++i)
            p.narrow[i] = static_cast<std::uint8_t>(i * 37 + 11);
        save(p, dir.file("tiny.png"));
        ASSERT_EQ(seal(dir.file("tiny.png"), dir.file("sealed.png"), "t").code, 0);
        const RunResult r = check(dir.file("sealed.png"), "t");
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out, row.units + "\nAltered units: 0 of " + row.units.substr(7, 1) + " checked\nintact\n");
        if (row.width * row.height == 1)
            continue; // one tag bit: a change passes with odds of a half
        SampledPicture s = load(dir.file("sealed.png"));
        set(s, s.samples() - 1, s.at(s.samples() - 1) ^ 0x10);
        save(s, dir.file("changed.png"));
        const RunResult changed = check(dir.file("changed.png"), "t", {"--quiet"});
        EXPECT_EQ(changed.code, 3);
        EXPECT_EQ(changed.out, row.units == "Units: 1 (1 across, 1 down)" ? kNoMatch + "\n" : "altered\n");
    }
}

TEST_F(SealTool, ManyPicturesIntoAFolderAndTheirCheck) {
    const std::string in = dir.file("in");
    std::filesystem::create_directory(in);
    const SampledPicture photo = load(kPhoto);
    save(photo, in + "/a.png");
    save(widened(photo), in + "/b.tif");
    save(load(kGreyPhoto), in + "/c.pgm");
    const std::string out = dir.file("out");
    const RunResult sealed = tool({"seal", in, "-o", out + "/", "--key-file", key, "--id-from-name", "-j", "2"});
    ASSERT_EQ(sealed.code, 0) << sealed.err;
    std::vector<std::string> said = linesOf(sealed.out);
    std::sort(said.begin(), said.end());
    ASSERT_EQ(said.size(), 3u);
    EXPECT_EQ(said[0].substr(0, said[0].find(", PSNR")), "Wrote " + out + "/a.png");
    EXPECT_EQ(said[2].substr(0, said[2].find(", PSNR")), "Wrote " + out + "/c.pgm");
    EXPECT_EQ(test::entriesOf(out), (std::set<std::string>{"a.png", "b.tif", "c.pgm"}));
    // One picture into a folder goes in under its name, as one of many does.
    const RunResult one = tool({"seal", in + "/a.png", "-o", dir.file("single") + "/", "--key-file", key,
                                "--id-from-name"});
    ASSERT_EQ(one.code, 0) << one.err;
    EXPECT_EQ(readFile(dir.file("single/a.png")), readFile(out + "/a.png"));
    // A list of files seals them the same way.
    const std::string list = dir.write("list", in + "/c.pgm\n# not this one\n" + in + "/a.png\n");
    const RunResult listed = tool({"seal", "--file-list", list, "-o", dir.file("listed"), "--key-file", key,
                                   "--id-from-name", "-j", "1"});
    ASSERT_EQ(listed.code, 0) << listed.err;
    EXPECT_EQ(test::entriesOf(dir.file("listed")), (std::set<std::string>{"a.png", "c.pgm"}));
    EXPECT_EQ(readFile(dir.file("listed/c.pgm")), readFile(out + "/c.pgm"));
    // Each sealed as a single seal with its own name as id seals it.
    ASSERT_EQ(seal(in + "/b.tif", dir.file("b.tif"), "b").code, 0);
    EXPECT_EQ(readFile(out + "/b.tif"), readFile(dir.file("b.tif")));

    const std::string csv = dir.file("c.csv");
    RunResult r = tool({"check", out, "--key-file", key, "--id-from-name", "--csv", csv});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(readFile(csv), "image,verdict,units_checked,units_altered,box\n" + out + "/a.png,intact,4096,0,\n" +
                                 out + "/b.tif,intact,4096,0,\n" + out + "/c.pgm,intact,4096,0,\n");
    SampledPicture a = load(out + "/a.png");
    fill(a, 0, 0, 3, 3, [] { return 0u; });
    save(a, out + "/a.png");
    r = tool({"check", out, "--key-file", key, "--id-from-name", "--csv", csv, "--map", dir.file("maps")});
    EXPECT_EQ(r.code, 3);
    said = linesOf(r.out);
    std::sort(said.begin(), said.end());
    EXPECT_EQ(said, (std::vector<std::string>{out + "/a.png: altered, 1 of 4096 units altered, altered area x 0..7, y 0..7",
                                              out + "/b.tif: intact, 0 of 4096 units altered",
                                              out + "/c.pgm: intact, 0 of 4096 units altered", "Wrote " + csv}));
    EXPECT_EQ(linesOf(readFile(csv))[1], out + "/a.png,altered,4096,1,\"x 0..7, y 0..7\"");
    EXPECT_EQ(test::entriesOf(dir.file("maps")), (std::set<std::string>{"a.png", "b.tif", "c.png"}));
    // One unreadable among them: the others are still checked, status 1.
    std::ofstream(out + "/d.png") << "not a picture";
    r = tool({"check", out, "--key-file", key, "--id-from-name", "--quiet"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(linesOf(r.out).size(), 3u);
    EXPECT_EQ(r.err, out + "/d.png: not a picture this program reads (BMP, PNG, TIFF, PPM or PGM)\n");
}

TEST_F(SealTool, RefusalsAreOneLineAndLeaveNothingBehind) {
    save(widened(load(kPhoto)), dir.file("deep.tif"));
    std::ofstream(dir.file("photo.jpg")) << "\xff\xd8\xff\xe0 a jpeg";
    const std::string stood = dir.write("out.bmp", "what stood here");
    struct Row {
        const char *name;
        std::vector<std::string> args;
        int code;
        std::string err; // the first line
    };
    const Row rows[] = {
        {"16 bits into a bitmap", {"seal", dir.file("deep.tif"), "-o", stood, "--key-file", key}, 1,
         stood + ": cannot be written: a BMP holds 8-bit grey or RGB without alpha, and this picture is RGB, 16 "
                 "bits a sample; name it .png or .tif"},
        {"a lossy output", {"seal", dir.file("deep.tif"), "-o", dir.file("out.jpg"), "--key-file", key}, 2,
         "ombrel seal: " + dir.file("out.jpg") +
             ": .jpg is a lossy format, and lossy compression destroys the watermark; name it .bmp, .png, .tif, "
             ".tiff, .ppm or .pgm"},
        {"a JPEG to seal", {"seal", dir.file("photo.jpg"), "-o", dir.file("out.png"), "--key-file", key}, 1,
         dir.file("photo.jpg") + ": not a readable picture for the seal (a JPEG: its samples are already lossy; "
                                 "seal the lossless original)"},
        {"no key", {"seal", dir.file("deep.tif"), "-o", dir.file("out.png")}, 2,
         "ombrel seal: seal needs a key: --key-file, --passphrase or --passphrase-file"},
        {"check with no key", {"check", dir.file("deep.tif")}, 2,
         "ombrel check: check needs a key: --key-file, --passphrase or --passphrase-file"},
        {"no such picture", {"check", dir.file("none.png"), "--key-file", key}, 1,
         dir.file("none.png") + ": no such file"},
        {"many into a picture name",
         {"seal", dir.file("deep.tif"), dir.file("deep.tif"), "-o", dir.file("x.png"), "--key-file", key}, 2,
         "ombrel seal: -o needs a folder for many files, not the picture name " + dir.file("x.png")},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const RunResult r = tool(row.args);
        EXPECT_EQ(r.code, row.code);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(linesOf(r.err).at(0), row.err);
        if (row.code == 1) {
            EXPECT_EQ(linesOf(r.err).size(), 1u);
        }
    }
    EXPECT_EQ(readFile(stood), "what stood here");
    EXPECT_EQ(test::entriesOf(dir.path()), (std::set<std::string>{"deep.tif", "out.bmp", "owner.key", "photo.jpg"}));
}

// A many-picture seal stopped part-way: every file it wrote is whole.
TEST_F(SealTool, ASignalStopsAfterThePicturesUnderWay) {
    const std::string many = dir.file("many");
    std::filesystem::create_directory(many);
    save(load(kPhoto), dir.file("photo.png"));
    constexpr int kMany = 150;
    for (int i = 0; i < kMany; ++i)
        std::filesystem::create_hard_link(dir.file("photo.png"), many + "/p" + std::to_string(100 + i) + ".png");
    ASSERT_EQ(seal(dir.file("photo.png"), dir.file("one.png"), "same").code, 0);
    const std::string expected = readFile(dir.file("one.png"));
    const std::string out = dir.file("out");
    test::Child run = test::Child::onTerminal(
        kTool, {"seal", many, "-o", out, "--key-file", key, "--id", "same", "-j", "1"}, dir.file("said"));
    ASSERT_TRUE(run.waitToShow(" images/s ", std::chrono::minutes(1))) << run.screen();
    run.signal(SIGTERM);
    const test::Ending end = run.wait();
    ASSERT_TRUE(end.exited);
    EXPECT_EQ(end.status, 143);
    const auto written = test::entriesOf(out);
    EXPECT_LT(written.size(), static_cast<std::size_t>(kMany));
    for (const std::string &name : written)
        EXPECT_EQ(readFile(out + "/" + name), expected) << name << " is whole";
    const std::string &screen = run.screen();
    EXPECT_EQ(screen.substr(screen.rfind("\033[K") + 3),
              "terminated: " + std::to_string(written.size()) + " of 150 pictures sealed\n");
}

// Qt's own limit (256 MiB) would refuse a bitmap this large; the tool lets
// the seal's commands take it.
TEST_F(SealTool, APictureOverQtsDefaultLimitIsRead) {
    constexpr int kSide = 8200; // 67 megapixels, 269 MB as Qt holds them
    const std::string path = dir.file("large.bmp");
    {
        std::ofstream file(path, std::ios::binary);
        const std::uint32_t row = kSide * 3, size = 54 + row * kSide;
        unsigned char head[54] = {'B', 'M'};
        const auto put = [&](int at, std::uint32_t v, int bytes) {
            for (int i = 0; i < bytes; ++i)
                head[at + i] = static_cast<unsigned char>(v >> (8 * i));
        };
        put(2, size, 4);
        put(10, 54, 4);
        put(14, 40, 4);
        put(18, kSide, 4);
        put(22, kSide, 4);
        put(26, 1, 2);
        put(28, 24, 2);
        file.write(reinterpret_cast<const char *>(head), sizeof head);
        const std::string line(row, '\x40');
        for (int y = 0; y < kSide; ++y)
            file.write(line.data(), row);
    }
    const RunResult r = check(path, "big", {"--quiet"});
    std::filesystem::remove(path);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out, kNoMatch + "\n");
}

} // namespace
} // namespace ombrel
