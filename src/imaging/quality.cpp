// SPDX-License-Identifier: Apache-2.0
#include "imaging/quality.h"

#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace ombrel {

namespace {

std::vector<double> greyValues(const Image &image) {
    std::vector<double> g(image.pixels.size());
    for (std::size_t i = 0; i < g.size(); ++i)
        g[i] = greyLevel(image.pixels[i]);
    return g;
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

// The weighted mean of v over every whole window, rows then columns (the
// window is separable); the result is (width - 10) x (height - 10).
std::vector<double> windowMeans(const std::vector<double> &v, int width, int height) {
    static const std::array<double, kWindow> w = gaussianWeights();
    const int ow = width - kWindow + 1, oh = height - kWindow + 1;
    std::vector<double> across(static_cast<std::size_t>(ow) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < ow; ++x) {
            double s = 0;
            for (int k = 0; k < kWindow; ++k)
                s += w[k] * v[static_cast<std::size_t>(y) * width + x + k];
            across[static_cast<std::size_t>(y) * ow + x] = s;
        }
    std::vector<double> out(static_cast<std::size_t>(ow) * oh);
    for (int y = 0; y < oh; ++y)
        for (int x = 0; x < ow; ++x) {
            double s = 0;
            for (int k = 0; k < kWindow; ++k)
                s += w[k] * across[static_cast<std::size_t>(y + k) * ow + x];
            out[static_cast<std::size_t>(y) * ow + x] = s;
        }
    return out;
}

} // namespace

Result<double, QualityProblem> structuralSimilarity(const Image &a, const Image &b) {
    if (a.width != b.width || a.height != b.height)
        return QualityProblem::SizesDiffer;
    if (a.width < kWindow || a.height < kWindow)
        return QualityProblem::TooSmall;
    const std::vector<double> ga = greyValues(a), gb = greyValues(b);
    std::vector<double> aa(ga.size()), bb(ga.size()), ab(ga.size());
    for (std::size_t i = 0; i < ga.size(); ++i) {
        aa[i] = ga[i] * ga[i];
        bb[i] = gb[i] * gb[i];
        ab[i] = ga[i] * gb[i];
    }
    const auto muA = windowMeans(ga, a.width, a.height), muB = windowMeans(gb, a.width, a.height);
    const auto eAA = windowMeans(aa, a.width, a.height), eBB = windowMeans(bb, a.width, a.height);
    const auto eAB = windowMeans(ab, a.width, a.height);
    const double c1 = (0.01 * 255) * (0.01 * 255), c2 = (0.03 * 255) * (0.03 * 255);
    double sum = 0;
    for (std::size_t i = 0; i < muA.size(); ++i) {
        const double ma = muA[i], mb = muB[i];
        const double va = eAA[i] - ma * ma, vb = eBB[i] - mb * mb, cov = eAB[i] - ma * mb;
        sum += ((2 * ma * mb + c1) * (2 * cov + c2)) /
               ((ma * ma + mb * mb + c1) * (va + vb + c2));
    }
    return sum / static_cast<double>(muA.size());
}

double psnrOf(double mse) {
    return mse == 0 ? std::numeric_limits<double>::infinity() : 10.0 * std::log10(255.0 * 255.0 / mse);
}

Result<Quality, QualityProblem> compareImages(const Image &a, const Image &b) {
    if (a.width != b.width || a.height != b.height)
        return QualityProblem::SizesDiffer;
    if (a.empty())
        return QualityProblem::Empty;
    double squared = 0, cross = 0, normA = 0, normB = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        const double ga = greyLevel(a.pixels[i]);
        const double gb = greyLevel(b.pixels[i]);
        squared += (ga - gb) * (ga - gb);
        cross += ga * gb;
        normA += ga * ga;
        normB += gb * gb;
    }
    Quality q;
    q.mse = squared / static_cast<double>(a.pixels.size());
    q.psnr = psnrOf(q.mse);
    q.nc = (normA == 0 || normB == 0) ? (normA == normB ? 1.0 : 0.0)
                                      : cross / std::sqrt(normA * normB);
    return q;
}

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
