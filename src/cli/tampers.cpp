// SPDX-License-Identifier: Apache-2.0
#include "cli/tampers.h"

#include "imaging/library_noise.h"
#include "stego/layout.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <memory>
#include <random>

namespace ombrel::cli {

namespace {

// Where copy-move takes its region from: the same size, lower left.
constexpr int kSourceLeft = 100, kSourceTop = 450;

bool inside(const Image &image, int x, int y) { return x >= 0 && y >= 0 && x < image.width && y < image.height; }

template <typename F>
void inRegion(const Image &image, Image &out, F pixel) {
    out = image;
    const Region r = kTamperRegion;
    for (int y = r.top; y < std::min(r.top + r.height, out.height); ++y)
        for (int x = r.left; x < std::min(r.left + r.width, out.width); ++x)
            out.at(x, y) = pixel(x, y);
}

} // namespace

void fillZero(const Image &image, Image &out) {
    inRegion(image, out, [](int, int) { return ColourWord{0}; });
}

void fillRandom(const Image &image, Image &out) {
    std::mt19937 gen(2026);
    inRegion(image, out, [&](int, int) { return static_cast<ColourWord>(gen() & 0xffffff); });
}

void copyMove(const Image &image, Image &out) {
    const Region r = kTamperRegion;
    inRegion(image, out, [&](int x, int y) {
        const int sx = x - r.left + kSourceLeft, sy = y - r.top + kSourceTop;
        return inside(image, sx, sy) ? image.at(sx, sy) : image.at(x, y);
    });
}

Image fillZero(const Image &image) { return made<fillZero>(image); }
Image fillRandom(const Image &image) { return made<fillRandom>(image); }
Image copyMove(const Image &image) { return made<copyMove>(image); }

namespace {

// Where the text goes, and how it looks: bold, 72 pixels high, near white.
constexpr int kTextTop = 600, kTextHeight = 100;
constexpr ColourWord kInk = 0xe6ffff; // 255, 255, 230

// The line of text as coverage per pixel (0..255) over the width of the
// cover. Qt's fonts need an application object, which the tool only makes
// for this, for a moment, on the thread that asks first.
const std::vector<std::uint8_t> &textCoverage(int width) {
    static const std::vector<std::uint8_t> coverage = [width] {
        const LibraryNoise quiet; // Qt's notes about the session it starts
        std::unique_ptr<QGuiApplication> app;
        if (!QCoreApplication::instance()) {
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
                qputenv("QT_QPA_PLATFORM", "offscreen");
            static int argc = 1;
            static char name[] = "ombrel";
            static char *argv[] = {name, nullptr};
            app = std::make_unique<QGuiApplication>(argc, argv);
        }
        QImage mask(width, kTextHeight, QImage::Format_Grayscale8);
        mask.fill(0);
        QPainter painter(&mask);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(72);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(mask.rect(), Qt::AlignCenter, QStringLiteral("PROOF OF AUTHENTICITY"));
        painter.end();
        std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * kTextHeight);
        for (int y = 0; y < kTextHeight; ++y)
            std::copy_n(mask.constScanLine(y), width, out.begin() + static_cast<std::ptrdiff_t>(y) * width);
        return out;
    }();
    return coverage;
}

int blend(int under, int ink, int alpha) { return (under * (255 - alpha) + ink * alpha + 127) / 255; }

} // namespace

void prepareTamperText(int width) { textCoverage(width); }

void drawnText(const Image &image, Image &out) {
    const std::vector<std::uint8_t> &coverage = textCoverage(kCoverWidth);
    out = image;
    const Channels ink = split(kInk);
    for (int y = 0; y < kTextHeight && kTextTop + y < out.height; ++y) {
        ColourWord *row = out.row(kTextTop + y);
        const std::uint8_t *a = coverage.data() + static_cast<std::ptrdiff_t>(y) * kCoverWidth;
        for (int x = 0; x < std::min(out.width, kCoverWidth); ++x)
            if (a[x]) {
                const Channels c = split(row[x]);
                row[x] = rgb(blend(c.red, ink.red, a[x]), blend(c.green, ink.green, a[x]),
                             blend(c.blue, ink.blue, a[x]));
            }
    }
}

Image drawnText(const Image &image) { return made<drawnText>(image); }

Image collage(const Image &image, const Image &donor) {
    Image out;
    inRegion(image, out, [&](int x, int y) { return inside(donor, x, y) ? donor.at(x, y) : image.at(x, y); });
    return out;
}

std::vector<std::uint8_t> changedBlocks(const Image &before, const Image &after) {
    const int block = MarkReport::kBlock;
    const int across = (before.width + block - 1) / block, down = (before.height + block - 1) / block;
    std::vector<std::uint8_t> changed(static_cast<std::size_t>(across) * down, 0);
    for (int y = 0; y < before.height; ++y) {
        const ColourWord *a = before.row(y), *b = after.row(y);
        for (int x = 0; x < before.width; ++x)
            if (a[x] != b[x])
                changed[static_cast<std::size_t>(y / block) * across + x / block] = 1;
    }
    return changed;
}

TamperScore scoreTamper(const std::vector<std::uint8_t> &changed, const MarkReport &report) {
    const int block = MarkReport::kBlock;
    const int across = report.blocksAcross();
    std::vector<std::uint8_t> carries(changed.size(), 0);
    for (int y = 0; y < report.height; ++y)
        for (int x = 0; x < report.width; ++x)
            if (report.pixels[static_cast<std::size_t>(y) * report.width + x] != MarkReport::Unchecked)
                carries[static_cast<std::size_t>(y / block) * across + x / block] = 1;
    long long flagged = 0, truth = 0, both = 0;
    for (std::size_t b = 0; b < changed.size(); ++b) {
        if (!carries[b])
            continue;
        flagged += report.altered[b] != 0;
        truth += changed[b] != 0;
        both += report.altered[b] && changed[b];
    }
    TamperScore score;
    score.intact = report.intact();
    if (flagged)
        score.precision = static_cast<double>(both) / static_cast<double>(flagged);
    if (truth)
        score.recall = static_cast<double>(both) / static_cast<double>(truth);
    return score;
}

} // namespace ombrel::cli
