#pragma once

#include "imaging/surface.h"

#include <optional>

namespace ombrel {

// The figures quoted for watermarking schemes, on grey values (ITU-R BT.601
// luma of each pixel): mean squared error, peak signal-to-noise ratio in dB
// (infinite for identical images) and normalised correlation.
struct Quality {
    double mse = 0;
    double psnr = 0;
    double nc = 0;
};

// Both images must have the same size; nothing is compared otherwise.
std::optional<Quality> compareImages(const Image &a, const Image &b);

// Structural similarity (Wang et al. 2004) of the same grey values: an 11 x 11
// Gaussian window of sigma 1.5, K1 = 0.01, K2 = 0.03, L = 255, averaged over
// every window that lies wholly inside the images. Needs the same size and at
// least 11 x 11 pixels.
std::optional<double> structuralSimilarity(const Image &a, const Image &b);
// Adds the squared grey differences of one run of pixels to sum. Pixels that
// are equal add nothing, so a caller may skip them and still get, bit for
// bit, the sum compareImages forms, as long as it goes in the same order.
void addSquaredGreyErrors(const ColourWord *a, const ColourWord *b, int count, double &sum);
// 10 log10(255^2 / mse), infinite for identical images.
double psnrOf(double mse);

} // namespace ombrel
