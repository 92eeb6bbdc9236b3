#include "stego/embedding.h"

#include "wavelet/haar.h"

#include <algorithm>
#include <cstdlib>

namespace ombrel {

namespace {

constexpr bool inApproximation(int x, int y) { return x <= 128 && y <= 128; }

} // namespace

EmbeddingPipeline::EmbeddingPipeline()
    : covermatrix_(makeCoverMatrix()), watermatrix_(makeCoeffMatrix()),
      level1matrix_(makeCoeffMatrix()), coeffmatrix_(makeCoeffMatrix()) {}

void EmbeddingPipeline::readCover(const Surface &cover, Progress &progress) {
    for (int y = 1; y <= kCoverHeight; ++y) {
        readCoverRow(cover, y, covermatrix_);
        progress.tick();
    }
}

void EmbeddingPipeline::readWatermark(const Surface &watermark, Progress &progress) {
    for (int y = 1; y <= kCoeffSize; ++y) {
        std::int32_t *dst = watermatrix_.row(y);
        for (int x = 1; x <= kCoeffSize; ++x)
            dst[x] = watermark.point(x, y) & 255;
        progress.tick();
    }
}

void EmbeddingPipeline::transform(int threshold, Progress &progress) {
    threshold_ = threshold;
    level1matrix_ = fwdwavelet(watermatrix_, 512);
    progress.tick();
    coeffmatrix_ = fwdwavelet(level1matrix_, 256);
    progress.tick();
    for (int y = 1; y <= kCoeffSize; ++y) {
        std::int32_t *c = coeffmatrix_.row(y);
        for (int x = 1; x <= kCoeffSize; ++x)
            c[x] = c[x] < threshold ? 0 : std::abs(c[x]);
    }
}

void EmbeddingPipeline::drawCoefficients(Surface &picture, Progress *progress) const {
    for (int y = 1; y <= kCoeffSize; ++y) {
        const std::int32_t *c = coeffmatrix_.row(y);
        for (int x = 1; x <= kCoeffSize; ++x)
            picture.pset(x, y, rgb(c[x], c[x], c[x]));
        if (progress)
            progress->tick();
    }
}

void EmbeddingPipeline::quantise() {
    // A magnitude of 128 would give 8, which three bits cannot carry (its
    // digits would read back as 4); 7 is the nearest value they hold.
    for (int y = 1; y <= kCoeffSize; ++y) {
        std::int32_t *c = coeffmatrix_.row(y);
        for (int x = 1; x <= kCoeffSize; ++x)
            if (!inApproximation(x, y))
                c[x] = std::min(c[x] / 16, 7);
    }
}

void EmbeddingPipeline::embedInto(Surface &cover, Progress &progress) const {
    for (int y = 1; y <= 128; ++y) {
        embedApproximationRow(y, covermatrix_, coeffmatrix_, cover);
        progress.tick(4);
    }
    for (int y = 1; y <= 512; ++y) {
        embedRightRow(y, covermatrix_, coeffmatrix_, cover);
        progress.tick();
    }
    for (int x = 1; x <= 128; ++x) {
        embedLowerColumn(x, covermatrix_, coeffmatrix_, cover);
        progress.tick();
    }
}

EmbedResult embed(const Surface &cover, const Surface &watermark, int threshold,
                  const ProgressFn &progressFn) {
    Progress progress(progressFn);
    progress.start(kEmbedProgressMax);
    EmbeddingPipeline pipeline;
    pipeline.readCover(cover, progress);
    pipeline.readWatermark(watermark, progress);
    pipeline.transform(threshold, progress);
    EmbedResult result{cover, makeWaveletSurface(), makeWaveletSurface()};
    pipeline.drawCoefficients(result.firstPicture, &progress);
    pipeline.quantise();
    pipeline.drawCoefficients(result.secondPicture, nullptr);
    pipeline.embedInto(result.watermarked, progress);
    return result;
}

} // namespace ombrel
