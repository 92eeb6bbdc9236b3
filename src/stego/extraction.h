// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/surface.h"
#include "stego/keyed_mark.h"
#include "stego/layout.h"
#include "stego/progress.h"

namespace ombrel {

inline Surface makeExtractedSurface() { return Surface(kWatermarkSize, kWatermarkSize); }

// The blind extraction on matrices that outlive one run (the extraction
// screen keeps one); every run overwrites every entry it uses.
class ExtractionPipeline {
public:
    ExtractionPipeline();

    // Reads pixels (1..1024, 1..768) of the image; one tick a row.
    void readImage(const Surface &image, Progress &progress);
    // Gathers every coefficient's bits: 128 + 512 + 128 ticks.
    void gather(Progress &progress);
    // Both steps at once, straight from the image's pixels when it is as wide
    // as the cover (through the cover matrix otherwise); ticks as both would.
    // With key, the bits of a keyed mark, from an image of 1024 x 768.
    void gather(const Surface &image, Progress &progress, const Keystream *key = nullptr);
    // Difference coefficients times 16; one tick a row.
    void scale(Progress &progress);
    // Undoes level 2, then level 1.
    void invert();
    // Draws the magnitudes as grey on the extracted-watermark surface.
    void draw(Surface &picture, Progress &progress);

    // Every step in order, onto a surface the caller may reuse.
    void run(const Surface &image, Surface &picture, Progress &progress,
             const Keystream *key = nullptr);

    const CoverMatrix &covermatrix() const { return covermatrix_; }
    const CoeffMatrix &coeffmatrix() const { return coeffmatrix_; }
    const CoeffMatrix &level1matrix() const { return level1matrix_; }

private:
    CoverMatrix covermatrix_;
    CoeffMatrix coeffmatrix_;
    CoeffMatrix level1matrix_;
    CoeffMatrix watermatrix_;
};

// The whole extraction on a surface, with no window; with key, of a keyed mark.
Surface extract(const Surface &image, const ProgressFn &progress = {},
                const Keystream *key = nullptr);

} // namespace ombrel
