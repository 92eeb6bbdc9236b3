// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/result.h"
#include "imaging/surface.h"

#include <string>
#include <vector>

namespace ombrel {

// The figures quoted for watermarking schemes, on grey values (ITU-R BT.601
// luma of each pixel): mean squared error, peak signal-to-noise ratio in dB
// (infinite for identical images) and normalised correlation.
struct Quality {
    double mse = 0;
    double psnr = 0;
    double nc = 0;
};

// A pixel's grey value, BT.601 luma.
inline double greyLevel(ColourWord c) {
    const Channels ch = split(c);
    return 0.299 * ch.red + 0.587 * ch.green + 0.114 * ch.blue;
}

// What one pixel adds to the squared error of two images.
inline double squaredGreyError(ColourWord a, ColourWord b) {
    const double d = greyLevel(a) - greyLevel(b);
    return d * d;
}

// Why two pictures could not be compared.
enum class QualityProblem {
    SizesDiffer,
    Empty,    // no pixels
    TooSmall, // fewer than 11 x 11 pixels, for SSIM
};

// A picture as a problem's words name it: its size, and its name where known.
struct PictureSize {
    int width = 0, height = 0;
    std::string name = {};
};
std::string qualityProblemText(QualityProblem problem, const PictureSize &a, const PictureSize &b);

// Both images must have the same size; nothing is compared otherwise.
Result<Quality, QualityProblem> compareImages(const Image &a, const Image &b);

// The PSNR of compareImages alone, to its bits, without the sums the NC needs.
Result<double, QualityProblem> greyPsnr(const Image &a, const Image &b);
// A picture compared with many others, its grey values worked out once; it
// refers to the picture, which must outlive it.
struct GreyPicture {
    explicit GreyPicture(const Image &picture);
    const Image &image;
    std::vector<double> grey;
};
Result<double, QualityProblem> greyPsnr(const GreyPicture &a, const Image &b);

// Structural similarity (Wang et al. 2004) of the same grey values: an 11 x 11
// Gaussian window of sigma 1.5, K1 = 0.01, K2 = 0.03, L = 255, averaged over
// every window that lies wholly inside the images. Needs the same size and at
// least 11 x 11 pixels.
Result<double, QualityProblem> structuralSimilarity(const Image &a, const Image &b);
// 10 log10(255^2 / mse), infinite for identical images.
double psnrOf(double mse);

} // namespace ombrel
