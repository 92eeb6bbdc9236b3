// SPDX-License-Identifier: Apache-2.0
#include "imaging/quality.h"

#include "imaging/row_loops.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace ombrel {

namespace {

// Grey values of n pixels: the products and sums of greyLevel, in its order,
// so the vector copies give its bits.
OMBREL_ROW_LOOPS void greyRow(const ColourWord *p, int n, double *g) {
    for (int i = 0; i < n; ++i) {
        const double r = static_cast<double>(p[i] & 255);
        const double gr = static_cast<double>((p[i] >> 8) & 255);
        const double b = static_cast<double>((p[i] >> 16) & 255);
        g[i] = 0.299 * r + 0.587 * gr + 0.114 * b;
    }
}

constexpr int kWindow = 11;

std::array<double, kWindow> gaussianWeights() {
    std::array<double, kWindow> w{};
    double sum = 0;
    for (int i = 0; i < kWindow; ++i) {
        const double d = i - kWindow / 2;
        w[i] = std::exp(-d * d / (2 * 1.5 * 1.5));
        sum += w[i];
    }
    for (double &v : w)
        v /= sum;
    return w;
}

// n weighted sums over the window's rows of values, each summed from the
// first row on as a loop per sum would: s = 0, then s += w[k] * rows[k][x].
OMBREL_ROW_LOOPS void windowRow(const double *w, const double *const *rows, int n, double *__restrict out) {
    for (int x = 0; x < n; ++x) {
        double s = 0;
        for (int k = 0; k < kWindow; ++k)
            s += w[k] * rows[k][x];
        out[x] = s;
    }
}

// The five quantities SSIM averages over each window: a, b, a a, b b, a b.
constexpr int kTerms = 5;

} // namespace

Result<double, QualityProblem> structuralSimilarity(const Image &a, const Image &b) {
    if (a.width != b.width || a.height != b.height)
        return QualityProblem::SizesDiffer;
    if (a.width < kWindow || a.height < kWindow)
        return QualityProblem::TooSmall;
    static const std::array<double, kWindow> w = gaussianWeights();
    // The window is separable: rows, then columns. A ring of the last eleven
    // rows' sums across is all the columns need, so nothing of the size of
    // the picture is held.
    const int width = a.width, ow = width - kWindow + 1, oh = a.height - kWindow + 1;
    std::vector<double> values(static_cast<std::size_t>(kTerms) * width);
    std::vector<double> across(static_cast<std::size_t>(kTerms) * kWindow * ow);
    const auto sumAcross = [&](int y) {
        double *ga = values.data(), *gb = ga + width, *aa = gb + width, *bb = aa + width, *ab = bb + width;
        greyRow(a.row(y), width, ga);
        greyRow(b.row(y), width, gb);
        for (int x = 0; x < width; ++x) {
            aa[x] = ga[x] * ga[x];
            bb[x] = gb[x] * gb[x];
            ab[x] = ga[x] * gb[x];
        }
        for (int t = 0; t < kTerms; ++t) {
            const double *v = values.data() + static_cast<std::size_t>(t) * width;
            const double *from[kWindow];
            for (int k = 0; k < kWindow; ++k)
                from[k] = v + k;
            windowRow(w.data(), from, ow, across.data() + (static_cast<std::size_t>(t) * kWindow + y % kWindow) * ow);
        }
    };
    for (int y = 0; y < kWindow - 1; ++y)
        sumAcross(y);
    std::vector<double> means(static_cast<std::size_t>(kTerms) * ow);
    const double c1 = (0.01 * 255) * (0.01 * 255), c2 = (0.03 * 255) * (0.03 * 255);
    double sum = 0;
    for (int y = 0; y < oh; ++y) {
        sumAcross(y + kWindow - 1);
        for (int t = 0; t < kTerms; ++t) {
            // The ring in window order, from its oldest row.
            const double *from[kWindow];
            for (int k = 0; k < kWindow; ++k)
                from[k] = across.data() + (static_cast<std::size_t>(t) * kWindow + (y + k) % kWindow) * ow;
            windowRow(w.data(), from, ow, means.data() + static_cast<std::size_t>(t) * ow);
        }
        const double *muA = means.data(), *muB = muA + ow, *eAA = muB + ow, *eBB = eAA + ow, *eAB = eBB + ow;
        for (int x = 0; x < ow; ++x) {
            const double ma = muA[x], mb = muB[x];
            const double va = eAA[x] - ma * ma, vb = eBB[x] - mb * mb, cov = eAB[x] - ma * mb;
            sum += ((2 * ma * mb + c1) * (2 * cov + c2)) /
                   ((ma * ma + mb * mb + c1) * (va + vb + c2));
        }
    }
    return sum / (static_cast<double>(ow) * oh);
}

double psnrOf(double mse) {
    return mse == 0 ? std::numeric_limits<double>::infinity() : 10.0 * std::log10(255.0 * 255.0 / mse);
}

namespace {

// Pixels a step: the grey values of a chunk are computed side by side, then
// summed one by one in the pixels' order, so every sum keeps its bits.
constexpr int kChunk = 1024;

} // namespace

Result<Quality, QualityProblem> compareImages(const Image &a, const Image &b) {
    if (a.width != b.width || a.height != b.height)
        return QualityProblem::SizesDiffer;
    if (a.empty())
        return QualityProblem::Empty;
    double squared = 0, cross = 0, normA = 0, normB = 0;
    double ga[kChunk], gb[kChunk];
    for (std::size_t at = 0; at < a.pixels.size(); at += kChunk) {
        const int n = static_cast<int>(std::min<std::size_t>(kChunk, a.pixels.size() - at));
        greyRow(a.pixels.data() + at, n, ga);
        greyRow(b.pixels.data() + at, n, gb);
        for (int i = 0; i < n; ++i) {
            squared += (ga[i] - gb[i]) * (ga[i] - gb[i]);
            cross += ga[i] * gb[i];
            normA += ga[i] * ga[i];
            normB += gb[i] * gb[i];
        }
    }
    Quality q;
    q.mse = squared / static_cast<double>(a.pixels.size());
    q.psnr = psnrOf(q.mse);
    q.nc = (normA == 0 || normB == 0) ? (normA == normB ? 1.0 : 0.0)
                                      : cross / std::sqrt(normA * normB);
    return q;
}

GreyPicture::GreyPicture(const Image &picture) : image(picture), grey(picture.pixels.size()) {
    for (std::size_t at = 0; at < grey.size(); at += kChunk)
        greyRow(picture.pixels.data() + at, static_cast<int>(std::min<std::size_t>(kChunk, grey.size() - at)),
                grey.data() + at);
}

Result<double, QualityProblem> greyPsnr(const GreyPicture &a, const Image &b) {
    if (a.image.width != b.width || a.image.height != b.height)
        return QualityProblem::SizesDiffer;
    if (b.empty())
        return QualityProblem::Empty;
    // Equal pixels add a zero, which leaves the sum as it was: runs of them
    // are skipped.
    double squared = 0;
    double gb[kChunk];
    const ColourWord *pa = a.image.pixels.data(), *pb = b.pixels.data();
    for (std::size_t at = 0; at < b.pixels.size(); at += kChunk) {
        const std::size_t n = std::min<std::size_t>(kChunk, b.pixels.size() - at);
        if (std::equal(pa + at, pa + at + n, pb + at))
            continue;
        greyRow(pb + at, static_cast<int>(n), gb);
        const double *ga = a.grey.data() + at;
        for (std::size_t i = 0; i < n; ++i)
            squared += (ga[i] - gb[i]) * (ga[i] - gb[i]);
    }
    return psnrOf(squared / static_cast<double>(b.pixels.size()));
}

Result<double, QualityProblem> greyPsnr(const Image &a, const Image &b) { return greyPsnr(GreyPicture(a), b); }

namespace {

std::string sizeText(const PictureSize &p) { return std::to_string(p.width) + "x" + std::to_string(p.height); }

} // namespace

std::string qualityProblemText(QualityProblem problem, const PictureSize &a, const PictureSize &b) {
    switch (problem) {
    case QualityProblem::SizesDiffer:
        if (a.name.empty())
            return "the images differ in size: " + sizeText(a) + " and " + sizeText(b);
        return "the images differ in size: " + a.name + " is " + sizeText(a) + ", " + b.name + " is " +
               sizeText(b);
    case QualityProblem::Empty:
        return "the picture is empty";
    case QualityProblem::TooSmall:
        return "SSIM needs pictures of at least 11x11 pixels, not " + sizeText(a);
    }
    return "unknown problem";
}

} // namespace ombrel
