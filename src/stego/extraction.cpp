// SPDX-License-Identifier: Apache-2.0
#include "stego/extraction.h"

#include "wavelet/haar.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>

namespace ombrel {

ExtractionPipeline::ExtractionPipeline()
    : covermatrix_(makeCoverMatrix()), coeffmatrix_(makeCoeffMatrix()),
      level1matrix_(makeCoeffMatrix()), watermatrix_(makeCoeffMatrix()) {}

void ExtractionPipeline::readImage(const Surface &image, Progress &progress) {
    for (int y = 1; y <= kCoverHeight; ++y) {
        readCoverRow(image, y, covermatrix_);
        progress.tick();
    }
}

namespace {

void gatherStages(const CoverRows &source, CoeffMatrix &coeff, Progress &progress) {
    for (int y = 1; y <= kBandSize; ++y) {
        gatherApproximationRow(y, source, coeff);
        progress.tick();
    }
    for (int y = 1; y <= kWatermarkSize; ++y) {
        gatherRightRow(y, source, coeff);
        progress.tick();
    }
    for (int x = 1; x <= kBandSize; ++x) {
        gatherLowerColumn(x, source, coeff);
        progress.tick();
    }
}

} // namespace

void ExtractionPipeline::gather(Progress &progress) { gatherStages(covermatrix_, coeffmatrix_, progress); }

ExtractGathered ExtractionPipeline::gatherThroughCoverMatrix(const Surface &image, Progress &progress) {
    readImage(image, progress);
    gather(progress);
    return ExtractGathered(*this);
}

ExtractGathered ExtractionPipeline::gather(const Surface &image, Progress &progress, const Keystream *key) {
    if (key) {
        // The keystream undone on a copy gives the keyless mark's bits.
        Image unkeyed = image.image();
        key->apply(unkeyed);
        for (int y = 1; y <= kCoverHeight; ++y)
            progress.tick();
        gatherStages(CoverRows(unkeyed), coeffmatrix_, progress);
        return ExtractGathered(*this);
    }
    if (image.width() < kCoverWidth)
        return gatherThroughCoverMatrix(image, progress);
    for (int y = 1; y <= kCoverHeight; ++y) // a tick for each row readImage would copy
        progress.tick();
    gatherStages(CoverRows(image.image()), coeffmatrix_, progress);
    return ExtractGathered(*this);
}

void ExtractGathered::draw(Surface &picture, Progress &progress) && {
    assert(pipeline_ && "an extraction drawn twice");
    ExtractionPipeline &p = *std::exchange(pipeline_, nullptr);
    p.scale(progress);
    p.invert();
    p.draw(picture, progress);
}

OMBREL_ROW_LOOPS void ExtractionPipeline::scale(Progress &progress) {
    for (int y = 1; y <= kWatermarkSize; ++y) {
        Coefficient *c = coeffmatrix_.row(y);
        for (int x = y < kFirstDetail ? kFirstDetail : 1; x <= kWatermarkSize; ++x)
            c[x] *= 16;
        progress.tick();
    }
}

void ExtractionPipeline::invert() {
    invwavelet(coeffmatrix_, 2, level1matrix_);
    invwavelet(level1matrix_, 1, watermatrix_);
}

OMBREL_ROW_LOOPS void ExtractionPipeline::draw(Surface &picture, Progress &progress) {
    const bool whole = picture.width() > kWatermarkSize && picture.height() > kWatermarkSize;
    for (int y = 1; y <= kWatermarkSize; ++y) {
        Coefficient *w = watermatrix_.row(y);
        for (int x = 1; x <= kWatermarkSize; ++x)
            w[x] = static_cast<Coefficient>(std::abs(w[x]));
        // Column and row 512 fall outside a 512 x 512 surface.
        const int last = whole ? kWatermarkSize : std::min(kWatermarkSize, picture.width() - 1);
        if (y < picture.height()) {
            ColourWord *dst = picture.image().row(y);
            for (int x = 1; x <= last; ++x)
                dst[x] = greyWord(std::min<int>(w[x], 255));
        }
        progress.tick();
    }
}

void ExtractionPipeline::run(const Surface &image, Surface &picture, Progress &progress,
                             const Keystream *key) {
    gather(image, progress, key).draw(picture, progress);
}

Surface extract(const Surface &image, Progress *progress, const Keystream *key) {
    Progress quiet;
    ExtractionPipeline pipeline;
    Surface picture = makeExtractedSurface();
    pipeline.run(image, picture, progress ? *progress : quiet, key);
    return picture;
}

} // namespace ombrel
