// SPDX-License-Identifier: Apache-2.0
// Arbitrary pixels of a 1024 x 768 image through the blind extraction: every
// image gives some grey picture, and nothing may go out of bounds.
#include "stego/extraction.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return 0;
    // Kept between runs, as the extraction screen keeps its matrices.
    static ombrel::Surface image(1024, 768);
    static ombrel::Surface out = ombrel::makeExtractedSurface();
    static ombrel::ExtractionPipeline pipeline;
    // Three bytes a pixel, the input repeated to fill the picture.
    std::size_t at = 0;
    for (ombrel::ColourWord &pixel : image.image().pixels) {
        const int r = data[at % size], g = data[(at + 1) % size], b = data[(at + 2) % size];
        pixel = ombrel::rgb(r, g, b);
        at += 3;
    }
    ombrel::Progress progress;
    pipeline.run(image, out, progress);
    for (const ombrel::ColourWord c : out.image().pixels)
        if (!ombrel::isGrey(c))
            __builtin_trap();
    return 0;
}
