// SPDX-License-Identifier: Apache-2.0
// The seal: what it writes, that an intact picture checks intact, and that
// every kind of change shows in the units it touches and in no other.

#include "stego/seal.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace ombrel {
namespace {

const std::vector<std::uint8_t> kSecret(32, 0x5a);
const std::vector<std::uint8_t> kOtherSecret(32, 0xa5);

// A picture of random samples that owns them; 16-bit samples use every bit.
struct Picture {
    int width = 0, height = 0, channels = 0, bitDepth = 8;
    std::ptrdiff_t stride = 0;
    std::vector<std::uint16_t> wide;
    std::vector<std::uint8_t> narrow;

    Picture(int w, int h, int c, int depth, unsigned seed = 1, int padding = 0)
        : width(w), height(h), channels(c), bitDepth(depth), stride(std::ptrdiff_t(w) * c + padding) {
        std::mt19937 random(seed);
        const std::size_t n = static_cast<std::size_t>(stride) * h;
        if (depth == 16) {
            wide.resize(n);
            for (auto &s : wide)
                s = static_cast<std::uint16_t>(random());
        } else {
            narrow.resize(n);
            for (auto &s : narrow)
                s = static_cast<std::uint8_t>(random());
        }
    }
    SealPixels view() {
        return {width, height, channels, bitDepth, stride,
                bitDepth == 16 ? static_cast<void *>(wide.data()) : static_cast<void *>(narrow.data())};
    }
    unsigned at(int x, int y, int c) const {
        const std::size_t i = static_cast<std::size_t>(y * stride + x * channels + c);
        return bitDepth == 16 ? wide[i] : narrow[i];
    }
    void set(int x, int y, int c, unsigned v) {
        const std::size_t i = static_cast<std::size_t>(y * stride + x * channels + c);
        if (bitDepth == 16)
            wide[i] = static_cast<std::uint16_t>(v);
        else
            narrow[i] = static_cast<std::uint8_t>(v);
    }
    bool operator==(const Picture &o) const { return wide == o.wide && narrow == o.narrow; }
};

Picture sealed(Picture p, const std::string &id = "photo-1", int threads = 0) {
    sealPicture(p.view(), kSecret, id, threads);
    return p;
}

SealReport check(Picture &p, const std::string &id = "photo-1", int threads = 0,
                 const std::vector<std::uint8_t> &secret = kSecret) {
    return checkSeal(p.view(), secret, id, threads);
}

std::string nameOf(int w, int h, int c, int depth) {
    return std::to_string(w) + "x" + std::to_string(h) + " " + std::to_string(c) + "ch " +
           std::to_string(depth) + "-bit";
}

TEST(SealUnits, CutIntoBlocksWithTheRemainderJoiningTheLast) {
    struct Row {
        int size;
        int units;
        std::vector<int> lengths; // of every unit along the side
    };
    const Row rows[] = {
        {1, 1, {1}},          {7, 1, {7}},       {8, 1, {8}},       {9, 1, {9}},
        {15, 1, {15}},        {16, 2, {8, 8}},   {17, 2, {8, 9}},   {23, 2, {8, 15}},
        {24, 3, {8, 8, 8}},   {31, 3, {8, 8, 15}},
    };
    for (const Row &r : rows) {
        const SealUnits across = sealUnits(r.size, 3), down = sealUnits(3, r.size);
        ASSERT_EQ(across.across, r.units) << r.size;
        ASSERT_EQ(down.down, r.units) << r.size;
        int start = 0;
        for (int u = 0; u < r.units; ++u) {
            EXPECT_EQ(across.left(u), start) << r.size << " unit " << u;
            EXPECT_EQ(across.unitWidth(u), r.lengths[u]) << r.size << " unit " << u;
            EXPECT_EQ(down.top(u), start) << r.size << " unit " << u;
            EXPECT_EQ(down.unitHeight(u), r.lengths[u]) << r.size << " unit " << u;
            start += r.lengths[u];
        }
        EXPECT_EQ(start, r.size);
    }
    const SealUnits big = sealUnits(1000, 3);
    EXPECT_EQ(big.across, 125);
    EXPECT_EQ(big.down, 1);
    EXPECT_EQ(big.count(), 125);
    EXPECT_EQ(big.unitHeight(0), 3);
}

struct Shape {
    int width, height, channels, bitDepth;
};
const Shape kShapes[] = {
    {1, 1, 1, 8},   {1, 1, 3, 16},  {7, 7, 2, 8},    {7, 7, 4, 16},   {8, 8, 3, 8},     {8, 8, 1, 16},
    {15, 15, 4, 8}, {15, 15, 3, 16}, {16, 9, 3, 8},  {16, 9, 2, 16},  {1000, 3, 3, 8},  {3, 1000, 4, 16},
    {23, 17, 1, 8}, {31, 40, 4, 8},  {40, 31, 2, 16}, {64, 48, 3, 16}, {1, 20, 3, 8},    {20, 1, 2, 8},
};

TEST(Seal, SealedPicturesCheckIntactWhateverTheThreads) {
    for (const Shape &s : kShapes) {
        const std::string name = nameOf(s.width, s.height, s.channels, s.bitDepth);
        Picture one = sealed(Picture(s.width, s.height, s.channels, s.bitDepth), "photo-1", 1);
        for (int threads : {0, 2, 3, 7}) {
            Picture many = sealed(Picture(s.width, s.height, s.channels, s.bitDepth), "photo-1", threads);
            EXPECT_TRUE(many == one) << name << " on " << threads << " threads";
        }
        for (int threads : {1, 3}) {
            const SealReport r = check(one, "photo-1", threads);
            EXPECT_TRUE(r.intact()) << name;
            EXPECT_FALSE(r.alteredBox) << name;
            EXPECT_EQ(r.unitsChecked, sealUnits(s.width, s.height).count()) << name;
        }
        // Sealing again changes nothing: the tags hash no bit they are written in.
        EXPECT_TRUE(sealed(one) == one) << name;
    }
}

TEST(Seal, WritesOnlyTheLowestBitOfOneColourSampleAPixelAndNeverAlpha) {
    for (const Shape &s : kShapes) {
        const std::string name = nameOf(s.width, s.height, s.channels, s.bitDepth);
        const Picture before(s.width, s.height, s.channels, s.bitDepth, 7);
        const Picture after = sealed(before);
        const int colour = s.channels == 2 || s.channels == 4 ? s.channels - 1 : s.channels;
        long changed = 0;
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x)
                for (int c = 0; c < s.channels; ++c) {
                    const unsigned diff = before.at(x, y, c) ^ after.at(x, y, c);
                    // The carrying sample rotates along the row and from row to row.
                    const unsigned allowed = c == (x + y) % colour ? 1u : 0u;
                    ASSERT_EQ(diff & ~allowed, 0u) << name << " at " << x << "," << y << " channel " << c;
                    changed += diff != 0;
                }
        // Random samples: about half the tag bits differ from what was there.
        const long pixels = long(s.width) * s.height;
        if (pixels >= 64) {
            EXPECT_GT(changed, pixels / 4) << name;
            EXPECT_LT(changed, pixels * 3 / 4) << name;
        }
    }
}

TEST(Seal, PaddingBetweenRowsIsNeitherReadNorWritten) {
    Picture padded(23, 17, 3, 16, 3, 5), packed(23, 17, 3, 16, 3);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 23; ++x)
            for (int c = 0; c < 3; ++c)
                packed.set(x, y, c, padded.at(x, y, c));
    Picture a = sealed(padded), b = sealed(packed);
    for (int y = 0; y < 17; ++y) {
        for (int x = 0; x < 23; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(a.at(x, y, c), b.at(x, y, c));
        for (int i = 23 * 3; i < 23 * 3 + 5; ++i)
            ASSERT_EQ(a.wide[static_cast<std::size_t>(y * a.stride + i)],
                      padded.wide[static_cast<std::size_t>(y * a.stride + i)]);
    }
    // Padding changed after sealing is no change to the picture.
    for (int y = 0; y < 17; ++y)
        a.wide[static_cast<std::size_t>(y * a.stride + 23 * 3)] ^= 0xffff;
    EXPECT_TRUE(check(a).intact());
}

// The unit holding pixel (x, y).
std::pair<int, int> unitOf(const SealUnits &u, int x, int y) {
    return {std::min(x / 8, u.across - 1), std::min(y / 8, u.down - 1)};
}

TEST(Seal, AnyOneBitChangedFlagsExactlyItsUnit) {
    const Shape shapes[] = {{23, 17, 4, 8}, {17, 23, 2, 16}, {16, 9, 3, 16}, {9, 9, 1, 8}, {5, 3, 3, 8}};
    for (const Shape &s : shapes) {
        const std::string name = nameOf(s.width, s.height, s.channels, s.bitDepth);
        Picture p = sealed(Picture(s.width, s.height, s.channels, s.bitDepth, 11));
        const SealUnits u = sealUnits(s.width, s.height);
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x)
                for (int c = 0; c < s.channels; ++c)
                    for (const int bit : {0, 1, s.bitDepth - 1}) {
                        const unsigned was = p.at(x, y, c);
                        p.set(x, y, c, was ^ (1u << bit));
                        const SealReport r = check(p, "photo-1", 1);
                        p.set(x, y, c, was);
                        const auto [ux, uy] = unitOf(u, x, y);
                        const std::string where = name + " at " + std::to_string(x) + "," + std::to_string(y) +
                                                  " channel " + std::to_string(c) + " bit " + std::to_string(bit);
                        ASSERT_EQ(r.unitsAltered, 1) << where;
                        ASSERT_TRUE(r.unitAltered(ux, uy)) << where;
                        ASSERT_TRUE(r.alteredBox) << where;
                        EXPECT_EQ(r.alteredBox->left, u.left(ux)) << where;
                        EXPECT_EQ(r.alteredBox->top, u.top(uy)) << where;
                        EXPECT_EQ(r.alteredBox->right, u.left(ux) + u.unitWidth(ux) - 1) << where;
                        EXPECT_EQ(r.alteredBox->bottom, u.top(uy) + u.unitHeight(uy) - 1) << where;
                        // A picture of one unit has nothing left to match.
                        EXPECT_EQ(r.noUnitMatches(), u.count() == 1) << where;
                    }
    }
}

void copyBlock(Picture &to, int toX, int toY, const Picture &from, int fromX, int fromY, int size) {
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            for (int c = 0; c < to.channels; ++c)
                to.set(toX + x, toY + y, c, from.at(fromX + x, fromY + y, c));
}

std::vector<std::pair<int, int>> alteredUnits(const SealReport &r) {
    std::vector<std::pair<int, int>> units;
    for (int uy = 0; uy < r.units.down; ++uy)
        for (int ux = 0; ux < r.units.across; ++ux)
            if (r.unitAltered(ux, uy))
                units.emplace_back(ux, uy);
    return units;
}

using Units = std::vector<std::pair<int, int>>;

TEST(Seal, ABlockMovedOrSwappedShowsWhereItLands) {
    const Picture original = sealed(Picture(32, 32, 3, 8, 5));
    Picture moved = original;
    copyBlock(moved, 16, 8, original, 0, 0, 8);
    EXPECT_EQ(alteredUnits(check(moved)), (Units{{2, 1}}));

    // Along its row, or down its column, by a multiple of 3 pixels, so the
    // carrying channels fall alike: only the place tells.
    Picture along = original;
    copyBlock(along, 24, 8, original, 0, 8, 8);
    EXPECT_EQ(alteredUnits(check(along)), (Units{{3, 1}}));
    Picture downward = original;
    copyBlock(downward, 8, 24, original, 8, 0, 8);
    EXPECT_EQ(alteredUnits(check(downward)), (Units{{1, 3}}));

    Picture swapped = original;
    copyBlock(swapped, 8, 0, original, 24, 16, 8);
    copyBlock(swapped, 24, 16, original, 8, 0, 8);
    EXPECT_EQ(alteredUnits(check(swapped)), (Units{{1, 0}, {3, 2}}));
    const SealReport r = check(swapped);
    ASSERT_TRUE(r.alteredBox);
    EXPECT_EQ(r.alteredBox->left, 8);
    EXPECT_EQ(r.alteredBox->top, 0);
    EXPECT_EQ(r.alteredBox->right, 31);
    EXPECT_EQ(r.alteredBox->bottom, 23);
}

TEST(Seal, ARegionPastedFromAnotherIdShows) {
    // The same samples sealed under two ids: only the id tells them apart.
    const Picture mine = sealed(Picture(40, 40, 4, 16, 9), "photo-1");
    const Picture theirs = sealed(Picture(40, 40, 4, 16, 9), "photo-2");
    Picture collage = mine;
    copyBlock(collage, 8, 16, theirs, 8, 16, 16);
    EXPECT_EQ(alteredUnits(check(collage)), (Units{{1, 2}, {2, 2}, {1, 3}, {2, 3}}));
    // Under the other id, the pasted units are the only ones that match.
    const SealReport r = check(collage, "photo-2");
    EXPECT_EQ(r.unitsAltered, r.unitsChecked - 4);
}

Picture cropped(const Picture &p, int left, int top, int width, int height) {
    Picture out(width, height, p.channels, p.bitDepth);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < p.channels; ++c)
                out.set(x, y, c, p.at(left + x, top + y, c));
    return out;
}

TEST(Seal, AnotherSizeKeyIdOrDepthFailsEveryUnit) {
    const Picture original = sealed(Picture(48, 40, 3, 8, 13));
    struct Row {
        const char *name;
        Picture picture;
        std::string id;
        std::vector<std::uint8_t> secret;
    };
    Picture grown(56, 40, 3, 8, 2); // a wider canvas, the picture at its left
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 48; ++x)
            for (int c = 0; c < 3; ++c)
                grown.set(x, y, c, original.at(x, y, c));
    Picture wide(48, 40, 3, 16); // the same samples as 16 bits
    for (std::size_t i = 0; i < original.narrow.size(); ++i)
        wide.wide[i] = static_cast<std::uint16_t>(original.narrow[i] * 257);
    Row rows[] = {
        {"cropped on the block grid", cropped(original, 0, 0, 40, 32), "photo-1", kSecret},
        {"cropped by a block", cropped(original, 8, 8, 40, 32), "photo-1", kSecret},
        {"cropped a pixel short", cropped(original, 0, 0, 47, 40), "photo-1", kSecret},
        {"canvas grown", grown, "photo-1", kSecret},
        {"other depth", wide, "photo-1", kSecret},
        {"other id", original, "photo-2", kSecret},
        {"other key", original, "photo-1", kOtherSecret},
        {"never sealed", Picture(48, 40, 3, 8, 13), "photo-1", kSecret},
    };
    for (Row &row : rows) {
        const SealReport r = check(row.picture, row.id, 0, row.secret);
        EXPECT_TRUE(r.noUnitMatches()) << row.name << ": " << r.unitsAltered << " of " << r.unitsChecked;
        EXPECT_FALSE(r.intact()) << row.name;
    }
    // Dropping alpha, or adding it, is another picture too.
    const Picture rgba = sealed(Picture(24, 24, 4, 8, 3));
    Picture rgb(24, 24, 3, 8);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x)
            for (int c = 0; c < 3; ++c)
                rgb.set(x, y, c, rgba.at(x, y, c));
    EXPECT_TRUE(check(rgb).noUnitMatches());
}

TEST(Seal, RefusesWhatItCannotTake) {
    Picture p(8, 8, 3, 8);
    struct Row {
        const char *name;
        SealPixels view;
        std::vector<std::uint8_t> secret;
    };
    const SealPixels good = p.view();
    auto with = [&](auto change) {
        SealPixels v = good;
        change(v);
        return v;
    };
    const Row rows[] = {
        {"12-bit", with([](SealPixels &v) { v.bitDepth = 12; }), kSecret},
        {"no channels", with([](SealPixels &v) { v.channels = 0; }), kSecret},
        {"5 channels", with([](SealPixels &v) { v.channels = 5; }), kSecret},
        {"no width", with([](SealPixels &v) { v.width = 0; }), kSecret},
        {"no height", with([](SealPixels &v) { v.height = -1; }), kSecret},
        {"no samples", with([](SealPixels &v) { v.samples = nullptr; }), kSecret},
        {"short rows", with([](SealPixels &v) { v.rowStride = 23; }), kSecret},
        {"short key", good, std::vector<std::uint8_t>(15, 1)},
    };
    for (const Row &r : rows) {
        EXPECT_THROW(sealPicture(r.view, r.secret, "x"), std::invalid_argument) << r.name;
        EXPECT_THROW(checkSeal(r.view, r.secret, "x"), std::invalid_argument) << r.name;
    }
    EXPECT_NO_THROW(sealPicture(good, std::vector<std::uint8_t>(16, 1), "x"));
}

// The photograph as 8-bit RGB, or none where scikit-image is missing.
QImage astronaut() {
    std::string path;
    if (FILE *f = popen("/usr/bin/python3 -c 'import os, skimage; "
                        "print(os.path.join(os.path.dirname(skimage.__file__), \"data\", \"astronaut.png\"))' "
                        "2>/dev/null",
                        "r")) {
        char line[4096];
        if (fgets(line, sizeof line, f))
            path = line;
        pclose(f);
    }
    while (!path.empty() && (path.back() == '\n'))
        path.pop_back();
    return QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB888);
}

double psnr(const Picture &a, const Picture &b) {
    double sum = 0;
    const double peak = a.bitDepth == 16 ? 65535 : 255;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            for (int c = 0; c < a.channels; ++c) {
                const double d = double(a.at(x, y, c)) - double(b.at(x, y, c));
                sum += d * d;
            }
    const double mse = sum / (double(a.width) * a.height * a.channels);
    return 10 * std::log10(peak * peak / mse);
}

TEST(Seal, APhotographKeepsFiftyFiveDecibelsAndChecksIntact) {
    const QImage photo = astronaut();
    ASSERT_FALSE(photo.isNull()) << "scikit-image's astronaut.png is missing";
    Picture rgb(photo.width(), photo.height(), 3, 8), grey(photo.width(), photo.height(), 1, 8);
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x) {
            const QRgb c = photo.pixel(x, y);
            rgb.set(x, y, 0, qRed(c));
            rgb.set(x, y, 1, qGreen(c));
            rgb.set(x, y, 2, qBlue(c));
            grey.set(x, y, 0, qGray(c));
        }
    const Picture sealedRgb = sealed(rgb), sealedGrey = sealed(grey);
    // A lowest bit in a third of the samples, about half of them changed.
    EXPECT_GE(psnr(rgb, sealedRgb), 55.0);
    EXPECT_NEAR(psnr(rgb, sealedRgb), 10 * std::log10(255.0 * 255 * 6), 0.3);
    EXPECT_NEAR(psnr(grey, sealedGrey), 10 * std::log10(255.0 * 255 * 2), 0.3);
    Picture copy = sealedRgb;
    EXPECT_TRUE(check(copy).intact());
}

} // namespace
} // namespace ombrel
