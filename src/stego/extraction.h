// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/surface.h"
#include "stego/keyed_mark.h"
#include "stego/layout.h"
#include "stego/progress.h"

#include <utility>

namespace ombrel {

inline Surface makeExtractedSurface() { return Surface(kWatermarkSize, kWatermarkSize); }

class ExtractionPipeline;

// The extraction's bits gathered into the coefficient matrix, made only by
// gathering and spent by drawing, so that the steps (gather, scale, invert,
// draw) can only be taken in their one order.
class ExtractGathered {
public:
    ExtractGathered(ExtractGathered &&other) noexcept
        : pipeline_(std::exchange(other.pipeline_, nullptr)) {}
    ExtractGathered(const ExtractGathered &) = delete;
    ExtractGathered &operator=(const ExtractGathered &) = delete;
    ExtractGathered &operator=(ExtractGathered &&) = delete;

    // Scales the difference coefficients by 16 (a tick a row), undoes
    // level 2 then level 1, and draws the magnitudes as grey on the
    // extracted-watermark surface (a tick a row).
    void draw(Surface &picture, Progress &progress) &&;

private:
    friend class ExtractionPipeline;
    explicit ExtractGathered(ExtractionPipeline &pipeline) : pipeline_(&pipeline) {}

    ExtractionPipeline *pipeline_;
};

// The blind extraction on matrices that outlive one run (the extraction
// screen keeps one); every run overwrites every entry it uses.
class ExtractionPipeline {
public:
    ExtractionPipeline();

    // The first step: gathers every coefficient's bits, straight from the
    // image's pixels when it is as wide as the cover (through the cover
    // matrix otherwise): a tick for each of the image's 768 rows, then
    // 128 + 512 + 128. With key, the bits of a keyed mark, from an image of
    // 1024 x 768. The image is not needed afterwards.
    ExtractGathered gather(const Surface &image, Progress &progress, const Keystream *key = nullptr);
    // The same always through the cover matrix, the way narrower images go.
    ExtractGathered gatherThroughCoverMatrix(const Surface &image, Progress &progress);

    // Every step in order, onto a surface the caller may reuse; the bar is
    // the caller's to start.
    void run(const Surface &image, Surface &picture, Progress &progress,
             const Keystream *key = nullptr);

    const CoverMatrix &covermatrix() const { return covermatrix_; }
    const CoeffMatrix &coeffmatrix() const { return coeffmatrix_; }
    const CoeffMatrix &level1matrix() const { return level1matrix_; }

private:
    friend class ExtractGathered;

    void readImage(const Surface &image, Progress &progress);
    void gather(Progress &progress);
    void scale(Progress &progress);
    void invert();
    void draw(Surface &picture, Progress &progress);

    CoverMatrix covermatrix_;
    CoeffMatrix coeffmatrix_;
    CoeffMatrix level1matrix_;
    CoeffMatrix watermatrix_;
};

// The whole extraction on a surface, with no window; with key, of a keyed mark.
// With progress, ticked as the steps go.
Surface extract(const Surface &image, Progress *progress = nullptr, const Keystream *key = nullptr);

} // namespace ombrel
