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
#include <cstdint>
#include <cstring>
#include <mutex>
#include <random>
#include <sstream>

namespace ombrel::cli {

namespace {

// Every channel of every pixel through f, red, green, blue, pixel by pixel;
// rgb() clamps the results.
template <typename F>
void perChannel(const Image &image, Image &out, F f) {
    out = image;
    for (ColourWord &p : out.pixels) {
        const Channels c = split(p);
        const int r = f(c.red), g = f(c.green), b = f(c.blue);
        p = rgb(r, g, b);
    }
}

template <int Quality>
Image jpeg(const Image &image) {
    const std::string file = jpegFile(image, Quality);
    return fromQImage(QImage::fromData(
        QByteArray::fromRawData(file.data(), static_cast<qsizetype>(file.size())), "JPG"));
}

// Gaussian noise of one sigma, rounded, as the noise attacks add it. The seed
// is fixed, so every picture of a size gets the same draw: it is drawn once a
// run and kept. Each value is kept as the whole number it rounds to, since
// nearbyint(v + g) is v + nearbyint(g) for every channel value v unless g lies
// within rounding reach of a half; those few are kept as drawn.
class NoiseDraw {
public:
    explicit NoiseDraw(int sigma) : sigma_(sigma) {}

    // Adds the first 3 x pixels values to out's channels, red, green, blue,
    // pixel by pixel; rgb() clamps the results.
    void add(const Image &image, Image &out) {
        const std::size_t values = image.pixels.size() * 3;
        const std::lock_guard hold(lock_);
        if (values > whole_.size())
            draw(values);
        out = image;
        const std::int8_t *k = whole_.data();
        for (ColourWord &p : out.pixels) {
            const Channels c = split(p);
            p = rgb(c.red + k[0], c.green + k[1], c.blue + k[2]);
            k += 3;
        }
        for (const auto &[at, g] : near_) {
            if (at >= values)
                break;
            ColourWord &p = out.pixels[at / 3];
            Channels c = split(image.pixels[at / 3]);
            std::uint8_t *channel[3] = {&c.red, &c.green, &c.blue};
            const int v = static_cast<int>(std::nearbyint(*channel[at % 3] + g));
            const Channels now = split(p);
            const int r = at % 3 == 0 ? v : now.red, gr = at % 3 == 1 ? v : now.green,
                      b = at % 3 == 2 ? v : now.blue;
            p = rgb(r, gr, b);
        }
    }

private:
    // Drawn afresh from the seed: a longer draw starts with the shorter one.
    void draw(std::size_t values) {
        std::mt19937 gen(20260 + sigma_);
        std::normal_distribution<double> gauss(0.0, sigma_);
        whole_.resize(values);
        near_.clear();
        // Channel values are below 256, so v + g rounds off g by less than
        // 1e-13: farther than this from a half, the whole number is safe. The
        // margin is wide enough that a cover-sized draw has a few of them.
        constexpr double kReach = 1e-6;
        for (std::size_t i = 0; i < values; ++i) {
            const double g = gauss(gen);
            const double k = std::nearbyint(g);
            if (std::abs(k) <= 127 && std::abs(std::abs(g - k) - 0.5) > kReach) {
                whole_[i] = static_cast<std::int8_t>(k);
            } else {
                whole_[i] = 0;
                near_.emplace_back(i, g);
            }
        }
    }

    int sigma_;
    std::mutex lock_;
    std::vector<std::int8_t> whole_;
    std::vector<std::pair<std::size_t, double>> near_; // in order of place
};

template <int Sigma>
void noise(const Image &image, Image &out) {
    static NoiseDraw draw(Sigma);
    draw.add(image, out);
}

void saltPepper(const Image &image, Image &out) {
    out = image;
    std::mt19937 gen(1);
    std::uniform_int_distribution<std::size_t> where(0, out.pixels.size() - 1);
    for (std::size_t n = out.pixels.size() / 100; n > 0; --n)
        out.pixels[where(gen)] = gen() & 1 ? rgb(255, 255, 255) : 0;
}

void cut(const Image &image, Image &out) {
    out = image;
    for (int y = 0; y < out.height / 2; ++y)
        std::fill_n(out.row(y), out.width / 2, 0);
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

void brightness(const Image &image, Image &out) {
    perChannel(image, out, [](int v) { return v + 10; });
}

// Four pixels' bytes at once: every channel is a byte of its colour word, so a
// bytewise minimum or maximum sorts the three channels side by side, and the
// unused top byte stays zero.
using Bytes = std::uint8_t __attribute__((vector_size(16)));

Bytes load(const ColourWord *p) {
    Bytes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void order(Bytes &a, Bytes &b) {
    const Bytes lo = a < b ? a : b, hi = a < b ? b : a;
    a = lo;
    b = hi;
}

// The median of nine by the 19 exchanges of Paeth's network.
Bytes medianOfNine(Bytes p[9]) {
    order(p[1], p[2]); order(p[4], p[5]); order(p[7], p[8]);
    order(p[0], p[1]); order(p[3], p[4]); order(p[6], p[7]);
    order(p[1], p[2]); order(p[4], p[5]); order(p[7], p[8]);
    order(p[0], p[3]); order(p[5], p[8]); order(p[4], p[7]);
    order(p[3], p[6]); order(p[1], p[4]); order(p[2], p[5]);
    order(p[4], p[7]); order(p[4], p[2]); order(p[6], p[4]);
    order(p[4], p[2]);
    return p[4];
}

constexpr int kLanes = sizeof(Bytes) / sizeof(ColourWord);

// Edge pixels take the median of the neighbours that exist.
ColourWord medianAt(const Image &image, int x, int y) {
    std::array<std::array<int, 9>, 3> window{};
    int n = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const int sx = x + dx, sy = y + dy;
            if (sx < 0 || sy < 0 || sx >= image.width || sy >= image.height)
                continue;
            const Channels c = split(image.at(sx, sy));
            window[0][n] = c.red;
            window[1][n] = c.green;
            window[2][n] = c.blue;
            ++n;
        }
    int m[3];
    for (int ch = 0; ch < 3; ++ch) {
        std::nth_element(window[ch].begin(), window[ch].begin() + n / 2, window[ch].begin() + n);
        m[ch] = window[ch][n / 2];
    }
    return rgb(m[0], m[1], m[2]);
}

void median(const Image &image, Image &out) {
    // Every pixel is written, so the buffer's old pixels need no clearing.
    out.width = image.width;
    out.height = image.height;
    out.pixels.resize(image.pixels.size());
    const int w = image.width, h = image.height;
    for (int y = 0; y < h; ++y) {
        int x = 0;
        if (y > 0 && y < h - 1) {
            // Inside, kLanes pixels a step through the network.
            const ColourWord *rows[3] = {image.row(y - 1), image.row(y), image.row(y + 1)};
            ColourWord *to = out.row(y);
            for (x = 1; x + kLanes < w; x += kLanes) {
                Bytes p[9];
                for (int r = 0; r < 3; ++r)
                    for (int dx = 0; dx < 3; ++dx)
                        p[r * 3 + dx] = load(rows[r] + x - 1 + dx);
                const Bytes m = medianOfNine(p);
                std::memcpy(to + x, &m, sizeof m);
            }
            out.at(0, y) = medianAt(image, 0, y);
        }
        for (; x < w; ++x)
            out.at(x, y) = medianAt(image, x, y);
    }
}

void lsbFlip(const Image &image, Image &out) {
    out = image;
    for (ColourWord &p : out.pixels)
        p ^= 0x010101;
}

void unchanged(const Image &image, Image &out) { out = image; }

} // namespace

const std::vector<Attack> &attacks() {
    static const std::vector<Attack> list = {
        {"none", made<unchanged>, 0, false, unchanged},
        {"jpeg-90", jpeg<90>, 90},
        {"jpeg-75", jpeg<75>, 75},
        {"jpeg-50", jpeg<50>, 50},
        {"noise-2", made<noise<2>>, 0, false, noise<2>},
        {"noise-5", made<noise<5>>, 0, false, noise<5>},
        {"saltpepper-1", made<saltPepper>, 0, false, saltPepper},
        {"cut-25", made<cut>, 0, false, cut},
        {"rescale-50", rescale},
        {"rotate-1", rotate},
        {"brightness-10", made<brightness>, 0, false, brightness},
        {"median-3", made<median>, 0, false, median},
        {"lsb-flip", made<lsbFlip>, 0, false, lsbFlip},
        {"fill-zero", fillZero, 0, true, fillZero},
        {"fill-random", fillRandom, 0, true, fillRandom},
        {"copy-move", copyMove, 0, true, copyMove},
        {"text", drawnText, 0, true, drawnText},
    };
    return list;
}

namespace {

// What scoring one attack after another reuses: the attacked picture, its
// unkeyed copy and the extraction's matrices, so that an attack does not
// fault in fresh pages for each of them.
struct Scratch {
    Image attacked, plain;
    ExtractionPipeline pipeline;
    Surface extracted = makeExtractedSurface();
};

// Scores attacked, which is lent to the extraction's surface for a moment and
// given back as it was.
AttackScore score(std::string_view name, bool tamper, const GreyPicture &marked, Image &attacked,
                  const std::optional<MarkToCheck> &mark, Scratch &scratch) {
    const Image &image = marked.image;
    AttackScore score;
    score.attack = name;
    score.psnr = *greyPsnr(marked, attacked);
    if (mark) {
        // A keyed mark is unkeyed once, then extracted and checked as a keyless
        // one: its keystream depends only on bits the unkeying leaves alone.
        Image &lent = mark->key ? scratch.plain : attacked;
        if (mark->key) {
            scratch.plain = attacked;
            mark->key->apply(scratch.plain);
        }
        Surface surface(std::move(lent));
        Progress quiet;
        scratch.pipeline.run(surface, scratch.extracted, quiet);
        score.nc = compareImages(mark->watermark, scratch.extracted.image())->nc;
        const MarkReport report = verifyMark(surface.image(), mark->bits);
        lent = std::move(surface.image());
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
    Scratch scratch;
    const GreyPicture marked(image);
    for (const Attack &attack : attacks()) {
        if (attack.into)
            attack.into(image, scratch.attacked);
        else
            scratch.attacked = attack.apply(image);
        scores.push_back(score(attack.name, attack.tamper, marked, scratch.attacked, mark, scratch));
        if (keep)
            keep(attack, std::move(scratch.attacked));
    }
    return scores;
}

AttackScore scoreCollage(const Image &image, const Image &donor, const MarkToCheck &mark) {
    Scratch scratch;
    Image attacked = collage(image, donor);
    return score(kCollage, true, GreyPicture(image), attacked, mark, scratch);
}

std::string jpegFile(const Image &image, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    toQImage(image).save(&buffer, "JPG", quality);
    return bytes.toStdString();
}

} // namespace ombrel::cli
