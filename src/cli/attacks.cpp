// SPDX-License-Identifier: Apache-2.0
#include "cli/attacks.h"

#include "cli/tampers.h"

#include "imaging/qt_image.h"
#include "imaging/quality.h"
#include "stego/extraction.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <sstream>

namespace ombrel::cli {

namespace {

// Every channel of every pixel through f, red, green, blue, pixel by pixel;
// rgb() clamps the results.
template <typename F>
Image perChannel(const Image &image, F f) {
    Image out = image;
    for (ColourWord &p : out.pixels) {
        const Channels c = split(p);
        const int r = f(c.red), g = f(c.green), b = f(c.blue);
        p = rgb(r, g, b);
    }
    return out;
}

template <int Quality>
Image jpeg(const Image &image) {
    const std::string file = jpegFile(image, Quality);
    return fromQImage(QImage::fromData(
        QByteArray::fromRawData(file.data(), static_cast<qsizetype>(file.size())), "JPG"));
}

template <int Sigma>
Image noise(const Image &image) {
    std::mt19937 gen(20260 + Sigma);
    std::normal_distribution<double> gauss(0.0, Sigma);
    return perChannel(image, [&](int v) {
        return static_cast<int>(std::nearbyint(v + gauss(gen)));
    });
}

Image saltPepper(const Image &image) {
    Image out = image;
    std::mt19937 gen(1);
    std::uniform_int_distribution<std::size_t> where(0, out.pixels.size() - 1);
    for (std::size_t n = out.pixels.size() / 100; n > 0; --n)
        out.pixels[where(gen)] = gen() & 1 ? rgb(255, 255, 255) : 0;
    return out;
}

Image cut(const Image &image) {
    Image out = image;
    for (int y = 0; y < out.height / 2; ++y)
        std::fill_n(out.row(y), out.width / 2, 0);
    return out;
}

Image rescale(const Image &image) {
    const QImage q = toQImage(image);
    return fromQImage(q.scaled(q.width() / 2, q.height() / 2, Qt::IgnoreAspectRatio,
                               Qt::SmoothTransformation)
                          .scaled(q.width(), q.height(), Qt::IgnoreAspectRatio,
                                  Qt::SmoothTransformation));
}

Image rotate(const Image &image) {
    const QImage source = toQImage(image);
    QImage out(source.size(), QImage::Format_RGB32);
    out.fill(Qt::black);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(source.width() / 2.0, source.height() / 2.0);
    painter.rotate(1.0);
    painter.translate(-source.width() / 2.0, -source.height() / 2.0);
    painter.drawImage(0, 0, source);
    painter.end();
    return fromQImage(out);
}

Image brightness(const Image &image) {
    return perChannel(image, [](int v) { return v + 10; });
}

Image median(const Image &image) {
    Image out = image;
    const int w = image.width, h = image.height;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::array<std::array<int, 9>, 3> window{};
            int n = 0;
            // Edge pixels take the median of the neighbours that exist.
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int sx = x + dx, sy = y + dy;
                    if (sx < 0 || sy < 0 || sx >= w || sy >= h)
                        continue;
                    const Channels c = split(image.at(sx, sy));
                    window[0][n] = c.red;
                    window[1][n] = c.green;
                    window[2][n] = c.blue;
                    ++n;
                }
            int m[3];
            for (int ch = 0; ch < 3; ++ch) {
                std::nth_element(window[ch].begin(), window[ch].begin() + n / 2,
                                 window[ch].begin() + n);
                m[ch] = window[ch][n / 2];
            }
            out.at(x, y) = rgb(m[0], m[1], m[2]);
        }
    return out;
}

Image lsbFlip(const Image &image) {
    Image out = image;
    for (ColourWord &p : out.pixels)
        p ^= 0x010101;
    return out;
}

} // namespace

const std::vector<Attack> &attacks() {
    static const std::vector<Attack> list = {
        {"none", [](const Image &i) { return i; }},
        {"jpeg-90", jpeg<90>, 90},
        {"jpeg-75", jpeg<75>, 75},
        {"jpeg-50", jpeg<50>, 50},
        {"noise-2", noise<2>},
        {"noise-5", noise<5>},
        {"saltpepper-1", saltPepper},
        {"cut-25", cut},
        {"rescale-50", rescale},
        {"rotate-1", rotate},
        {"brightness-10", brightness},
        {"median-3", median},
        {"lsb-flip", lsbFlip},
        {"fill-zero", fillZero, 0, true},
        {"fill-random", fillRandom, 0, true},
        {"copy-move", copyMove, 0, true},
        {"text", drawnText, 0, true},
    };
    return list;
}

namespace {

AttackScore score(std::string_view name, bool tamper, const Image &image, const Image &attacked,
                  const std::optional<MarkToCheck> &mark) {
    AttackScore score;
    score.attack = name;
    score.psnr = compareImages(image, attacked)->psnr;
    if (mark) {
        // A keyed mark is unkeyed once, then extracted and checked as a keyless
        // one: its keystream depends only on bits the unkeying leaves alone.
        Image plain = attacked;
        if (mark->key)
            mark->key->apply(plain);
        const Surface surface = surfaceOf(std::move(plain));
        score.nc = compareImages(mark->watermark, extract(surface).image())->nc;
        const MarkReport report = verifyMark(surface.image(), mark->bits);
        score.bitsAgreeing = 1.0 - report.differingShare();
        if (tamper) {
            const TamperScore t = scoreTamper(changedBlocks(image, attacked), report);
            score.tamperPrecision = t.precision;
            score.tamperRecall = t.recall;
            score.tamperFound = !t.intact;
        }
    }
    return score;
}

} // namespace

std::vector<AttackScore> scoreAttacks(const Image &image, const std::optional<MarkToCheck> &mark,
                                      const std::function<void(const Attack &, Image &&)> &keep) {
    std::vector<AttackScore> scores;
    for (const Attack &attack : attacks()) {
        Image attacked = attack.apply(image);
        scores.push_back(score(attack.name, attack.tamper, image, attacked, mark));
        if (keep)
            keep(attack, std::move(attacked));
    }
    return scores;
}

AttackScore scoreCollage(const Image &image, const Image &donor, const MarkToCheck &mark) {
    return score(kCollage, true, image, collage(image, donor), mark);
}

std::string jpegFile(const Image &image, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    toQImage(image).save(&buffer, "JPG", quality);
    return bytes.toStdString();
}

} // namespace ombrel::cli
