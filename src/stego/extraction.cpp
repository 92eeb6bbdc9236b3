#include "stego/extraction.h"

#include "wavelet/haar.h"

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

void ExtractionPipeline::gather(Progress &progress) {
    for (int y = 1; y <= 128; ++y) {
        gatherApproximationRow(y, covermatrix_, coeffmatrix_);
        progress.tick();
    }
    for (int y = 1; y <= 512; ++y) {
        gatherRightRow(y, covermatrix_, coeffmatrix_);
        progress.tick();
    }
    for (int x = 1; x <= 128; ++x) {
        gatherLowerColumn(x, covermatrix_, coeffmatrix_);
        progress.tick();
    }
}

void ExtractionPipeline::scale(Progress &progress) {
    for (int y = 1; y <= kCoeffSize; ++y) {
        std::int32_t *c = coeffmatrix_.row(y);
        for (int x = y < 129 ? 129 : 1; x <= kCoeffSize; ++x)
            c[x] *= 16;
        progress.tick();
    }
}

void ExtractionPipeline::invert() {
    level1matrix_ = invwavelet(coeffmatrix_, 2);
    watermatrix_ = invwavelet(level1matrix_, 1);
}

void ExtractionPipeline::draw(Surface &picture, Progress &progress) {
    for (int y = 1; y <= kCoeffSize; ++y) {
        std::int32_t *w = watermatrix_.row(y);
        for (int x = 1; x <= kCoeffSize; ++x) {
            w[x] = std::abs(w[x]);
            picture.pset(x, y, rgb(w[x], w[x], w[x]));
        }
        progress.tick();
    }
}

Surface extract(const Surface &image, const ProgressFn &progressFn) {
    Progress progress(progressFn);
    progress.start(kExtractProgressMax);
    ExtractionPipeline pipeline;
    pipeline.readImage(image, progress);
    pipeline.gather(progress);
    pipeline.scale(progress);
    pipeline.invert();
    Surface picture = makeExtractedSurface();
    pipeline.draw(picture, progress);
    return picture;
}

} // namespace ombrel
