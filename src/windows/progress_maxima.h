// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "stego/layout.h"

namespace ombrel::windows {

// The maxima the windows start their progress bar with, counted in the
// ticks the scans and pipelines report. Every pass over the pixels ticks once per row (or per column).
namespace progress_steps {
// Bands of the layout: the approximation band's rows, the detail rows.
inline constexpr int kApproximationRows = kBandSize;
inline constexpr int kCoverRows = kCoverHeight;
inline constexpr int kCoefficientRows = kWatermarkSize;
} // namespace progress_steps

// The main window sizes its bar for the cover's rows and one more.
inline constexpr int kCoverLoadProgressMax = progress_steps::kCoverRows + 1; // 769
// The watermark chooser sizes its bar for the watermark's rows and one more.
inline constexpr int kWatermarkScanProgressMax = progress_steps::kCoefficientRows + 1; // 513
// The embedding ticks: read the cover (768 rows), read the watermark (512),
// two transform steps, draw the first picture (512), then write into the
// cover: the approximation band four at a time (4 x 128), the detail rows
// (512) and the last columns (128).
inline constexpr int kEmbedProgressEnd = progress_steps::kCoverRows + progress_steps::kCoefficientRows + 2 +
                                         progress_steps::kCoefficientRows +
                                         4 * progress_steps::kApproximationRows + progress_steps::kCoefficientRows +
                                         progress_steps::kApproximationRows; // 2946
// The bar's maximum is set one approximation band beyond where the
// embedding ends, as the program has always shown it.
inline constexpr int kEmbedProgressMax = kEmbedProgressEnd + progress_steps::kApproximationRows; // 3074
// The extraction ticks: read the image (768 rows), gather the approximation
// band (128), the detail rows (512) and the last columns (128), scale the
// coefficients (512 rows), draw the watermark (512 rows); it ends full.
inline constexpr int kExtractProgressMax = progress_steps::kCoverRows + progress_steps::kApproximationRows +
                                           progress_steps::kCoefficientRows + progress_steps::kApproximationRows +
                                           progress_steps::kCoefficientRows +
                                           progress_steps::kCoefficientRows; // 2560

static_assert(kCoverLoadProgressMax == 769 && kWatermarkScanProgressMax == 513);
static_assert(kEmbedProgressEnd == 2946 && kEmbedProgressMax == 3074 && kExtractProgressMax == 2560);

} // namespace ombrel::windows
