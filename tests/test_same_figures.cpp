// SPDX-License-Identifier: Apache-2.0
// The quicker figures, attacks and check against the plain loops they
// replaced, written out here: every result must be the same to the bit.
#include "cli/attacks.h"
#include "imaging/quality.h"
#include "imaging/sample_images.h"
#include "stego/embedding.h"
#include "stego/verify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace ombrel {
namespace {

Image randomImage(int w, int h, unsigned seed) {
    Image image(w, h);
    std::mt19937 gen(seed);
    for (ColourWord &p : image.pixels)
        p = static_cast<ColourWord>(gen() & 0xffffff);
    return image;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

double grey(ColourWord c) {
    const Channels ch = split(c);
    return 0.299 * ch.red + 0.587 * ch.green + 0.114 * ch.blue;
}

// The figures as one loop over the pixels works them out.
Quality plainQuality(const Image &a, const Image &b) {
    double squared = 0, cross = 0, normA = 0, normB = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        const double ga = grey(a.pixels[i]), gb = grey(b.pixels[i]);
        squared += (ga - gb) * (ga - gb);
        cross += ga * gb;
        normA += ga * ga;
        normB += gb * gb;
    }
    Quality q;
    q.mse = squared / static_cast<double>(a.pixels.size());
    q.psnr = psnrOf(q.mse);
    q.nc = (normA == 0 || normB == 0) ? (normA == normB ? 1.0 : 0.0) : cross / std::sqrt(normA * normB);
    return q;
}

// SSIM with every window's means in arrays the size of the picture.
double plainSsim(const Image &a, const Image &b) {
    std::array<double, 11> w{};
    double total = 0;
    for (int i = 0; i < 11; ++i) {
        const double d = i - 5;
        w[i] = std::exp(-d * d / (2 * 1.5 * 1.5));
        total += w[i];
    }
    for (double &v : w)
        v /= total;
    const int width = a.width, height = a.height, ow = width - 10, oh = height - 10;
    const auto means = [&](const std::vector<double> &v) {
        std::vector<double> across(static_cast<std::size_t>(ow) * height), out(static_cast<std::size_t>(ow) * oh);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < ow; ++x) {
                double s = 0;
                for (int k = 0; k < 11; ++k)
                    s += w[k] * v[static_cast<std::size_t>(y) * width + x + k];
                across[static_cast<std::size_t>(y) * ow + x] = s;
            }
        for (int y = 0; y < oh; ++y)
            for (int x = 0; x < ow; ++x) {
                double s = 0;
                for (int k = 0; k < 11; ++k)
                    s += w[k] * across[static_cast<std::size_t>(y + k) * ow + x];
                out[static_cast<std::size_t>(y) * ow + x] = s;
            }
        return out;
    };
    std::vector<double> ga(a.pixels.size()), gb(ga.size()), aa(ga.size()), bb(ga.size()), ab(ga.size());
    for (std::size_t i = 0; i < ga.size(); ++i) {
        ga[i] = grey(a.pixels[i]);
        gb[i] = grey(b.pixels[i]);
        aa[i] = ga[i] * ga[i];
        bb[i] = gb[i] * gb[i];
        ab[i] = ga[i] * gb[i];
    }
    const auto muA = means(ga), muB = means(gb), eAA = means(aa), eBB = means(bb), eAB = means(ab);
    const double c1 = (0.01 * 255) * (0.01 * 255), c2 = (0.03 * 255) * (0.03 * 255);
    double sum = 0;
    for (std::size_t i = 0; i < muA.size(); ++i) {
        const double ma = muA[i], mb = muB[i];
        const double va = eAA[i] - ma * ma, vb = eBB[i] - mb * mb, cov = eAB[i] - ma * mb;
        sum += ((2 * ma * mb + c1) * (2 * cov + c2)) / ((ma * ma + mb * mb + c1) * (va + vb + c2));
    }
    return sum / static_cast<double>(muA.size());
}

// Sizes around the chunks, windows and vector lanes the quick code works in.
struct Size {
    const char *name;
    int w, h;
};
const Size kSizes[] = {{"one pixel", 1, 1},   {"a column", 1, 9},      {"three square", 3, 3},
                       {"odd", 37, 29},       {"past a chunk", 1030, 3}, {"cover", 1024, 768}};

TEST(SameFigures, CompareAndPsnrKeepEveryBit) {
    for (const Size &s : kSizes) {
        const Image a = randomImage(s.w, s.h, 1), b = randomImage(s.w, s.h, 2);
        // Mostly a's pixels, a few of b's: the runs of equal pixels are skipped.
        Image mixed = a;
        for (std::size_t i = 0; i < mixed.pixels.size(); i += 1500)
            mixed.pixels[i] = b.pixels[i];
        for (const Image *other : std::initializer_list<const Image *>{&b, &mixed, &a}) {
            const Quality want = plainQuality(a, *other);
            const Quality got = *compareImages(a, *other);
            EXPECT_TRUE(sameBits(got.mse, want.mse)) << s.name;
            EXPECT_TRUE(sameBits(got.psnr, want.psnr)) << s.name;
            EXPECT_TRUE(sameBits(got.nc, want.nc)) << s.name;
            EXPECT_TRUE(sameBits(*greyPsnr(a, *other), want.psnr)) << s.name;
            EXPECT_TRUE(sameBits(*greyPsnr(GreyPicture(a), *other), want.psnr)) << s.name;
        }
    }
    EXPECT_EQ(greyPsnr(randomImage(3, 3, 1), randomImage(3, 4, 1)).error(), QualityProblem::SizesDiffer);
    EXPECT_EQ(greyPsnr(Image(), Image()).error(), QualityProblem::Empty);
}

TEST(SameFigures, SsimKeepsEveryBit) {
    for (const Size &s : {Size{"smallest", 11, 11}, Size{"odd", 40, 23}, Size{"cover", 1024, 768}}) {
        const Image a = randomImage(s.w, s.h, 3);
        Image b = a;
        std::mt19937 gen(4);
        for (ColourWord &p : b.pixels)
            p = rgb(split(p).red + static_cast<int>(gen() % 9) - 4, split(p).green, split(p).blue);
        EXPECT_TRUE(sameBits(*structuralSimilarity(a, b), plainSsim(a, b))) << s.name;
    }
}

const cli::Attack &attackNamed(const std::string &name) {
    for (const cli::Attack &a : cli::attacks())
        if (a.name == name)
            return a;
    throw std::runtime_error("no attack " + name);
}

// The median of the window of neighbours that exist, per channel.
Image plainMedian(const Image &image) {
    Image out = image;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            std::vector<int> c[3];
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int sx = x + dx, sy = y + dy;
                    if (sx < 0 || sy < 0 || sx >= image.width || sy >= image.height)
                        continue;
                    const Channels ch = split(image.at(sx, sy));
                    c[0].push_back(ch.red);
                    c[1].push_back(ch.green);
                    c[2].push_back(ch.blue);
                }
            int m[3];
            for (int k = 0; k < 3; ++k) {
                std::sort(c[k].begin(), c[k].end());
                m[k] = c[k][c[k].size() / 2];
            }
            out.at(x, y) = rgb(m[0], m[1], m[2]);
        }
    return out;
}

TEST(SameFigures, MedianMatchesTheSortedWindow) {
    const cli::Attack &median = attackNamed("median-3");
    for (const Size &s : {Size{"one pixel", 1, 1}, Size{"two rows", 7, 2}, Size{"three square", 3, 3},
                          Size{"five wide", 5, 4}, Size{"lanes and a tail", 14, 6}, Size{"odd", 67, 33}}) {
        const Image image = randomImage(s.w, s.h, 5);
        EXPECT_TRUE(median.apply(image) == plainMedian(image)) << s.name;
        Image into = randomImage(s.w + 3, s.h, 6); // a reused buffer of another size
        median.into(image, into);
        EXPECT_TRUE(into == plainMedian(image)) << s.name;
    }
}

// Noise of sigma drawn afresh, as each picture once had it.
Image plainNoise(const Image &image, int sigma) {
    std::mt19937 gen(20260 + sigma);
    std::normal_distribution<double> gauss(0.0, sigma);
    Image out = image;
    for (ColourWord &p : out.pixels) {
        const Channels c = split(p);
        const int r = static_cast<int>(std::nearbyint(c.red + gauss(gen)));
        const int g = static_cast<int>(std::nearbyint(c.green + gauss(gen)));
        const int b = static_cast<int>(std::nearbyint(c.blue + gauss(gen)));
        p = rgb(r, g, b);
    }
    return out;
}

TEST(SameFigures, NoiseDrawnOnceIsTheNoiseDrawnEachTime) {
    for (const int sigma : {2, 5}) {
        const cli::Attack &noise = attackNamed("noise-" + std::to_string(sigma));
        // Small, then larger (drawn again), then small again (a prefix of it);
        // dark and bright pictures, so the clamping shows.
        for (const Size &s : {Size{"small", 5, 3}, Size{"cover", 1024, 768}, Size{"odd", 37, 29}}) {
            for (const ColourWord fill : {ColourWord{0}, rgb(255, 255, 255)}) {
                const Image flat(s.w, s.h, fill);
                EXPECT_TRUE(noise.apply(flat) == plainNoise(flat, sigma)) << sigma << " " << s.name;
            }
            const Image image = randomImage(s.w, s.h, 7);
            EXPECT_TRUE(noise.apply(image) == plainNoise(image, sigma)) << sigma << " " << s.name;
        }
    }
}

TEST(SameFigures, EveryAttackWritesIntoABufferAsItReturns) {
    const Image image = randomImage(1024, 768, 8);
    Image buffer = randomImage(1024, 768, 9);
    for (const cli::Attack &a : cli::attacks())
        if (a.into) {
            a.into(image, buffer);
            EXPECT_TRUE(buffer == a.apply(image)) << a.name;
        }
}

// The check as a loop a pixel.
MarkReport plainCheck(const Image &image, const MarkBits &mark) {
    MarkReport r;
    r.width = mark.width();
    r.height = mark.height();
    const int across = r.blocksAcross(), down = (r.height + 7) / 8;
    r.pixels.assign(image.pixels.size(), MarkReport::Unchecked);
    r.altered.assign(static_cast<std::size_t>(across) * down, 0);
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * r.width + x;
            const ColourWord mask = mark.mask()[i];
            if (!mask)
                continue;
            const ColourWord diff = (image.pixels[i] ^ mark.bits()[i]) & mask;
            r.pixels[i] = diff ? MarkReport::Differs : MarkReport::Agrees;
            for (ColourWord d = diff; d; d &= d - 1)
                ++r.bitsDiffering;
            r.pixelsDiffering += diff != 0;
            if (diff)
                r.altered[static_cast<std::size_t>(y / 8) * across + x / 8] = 1;
        }
    return r;
}

TEST(SameFigures, CheckCountsAsAPixelLoop) {
    const Surface watermark(sampleWatermark());
    const MarkBits mark(watermark, 0);
    const Image marked = embed(Surface(sampleCover()), watermark, 0).watermarked.image();
    Image tampered = marked;
    for (int y = 100; y < 140; ++y)
        for (int x = 200; x < 300; ++x)
            tampered.at(x, y) ^= 0x030303;
    for (const Image *image : std::initializer_list<const Image *>{&marked, &tampered}) {
        const MarkReport got = verifyMark(*image, mark), want = plainCheck(*image, mark);
        EXPECT_EQ(got.bitsDiffering, want.bitsDiffering);
        EXPECT_EQ(got.pixelsDiffering, want.pixelsDiffering);
        EXPECT_TRUE(got.pixels == want.pixels);
        EXPECT_TRUE(got.altered == want.altered);
    }
    EXPECT_GT(plainCheck(tampered, mark).bitsDiffering, 0);
}

} // namespace
} // namespace ombrel
