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

} // namespace ombrel
