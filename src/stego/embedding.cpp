#include "stego/embedding.h"

#include "imaging/quality.h"
#include "wavelet/haar.h"

#include <algorithm>
#include <cstdlib>

namespace ombrel {

namespace {

// The three stages in the order the bar counts them; errors as the stages take it.
void embedStages(const CoverRows &source, const CoeffMatrix &coeff, Surface &cover,
                 Progress &progress, double *errors) {
    for (int y = 1; y <= kBandSize; ++y) {
        embedApproximationRow(y, source, coeff, cover, errors);
        progress.tick(4);
    }
    for (int y = 1; y <= kWatermarkSize; ++y) {
        embedRightRow(y, source, coeff, cover, errors);
        progress.tick();
    }
    for (int x = 1; x <= kBandSize; ++x) {
        embedLowerColumn(x, source, coeff, cover, errors);
        progress.tick();
    }
}

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

OMBREL_ROW_LOOPS void EmbeddingPipeline::readWatermark(const Surface &watermark, Progress &progress) {
    for (int y = 1; y <= kWatermarkSize; ++y) {
        Coefficient *dst = watermatrix_.row(y);
        int x = 1;
        if (y < watermark.height()) {
            const ColourWord *src = watermark.image().row(y);
            for (const int inside = std::min(kWatermarkSize, watermark.width() - 1); x <= inside; ++x)
                dst[x] = src[x] & 255;
        }
        for (; x <= kWatermarkSize; ++x)
            dst[x] = kOutside & 255;
        progress.tick();
    }
}

OMBREL_ROW_LOOPS void EmbeddingPipeline::transform(int threshold, Progress &progress) {
    fwdwavelet(watermatrix_, kWatermarkSize, level1matrix_);
    progress.tick();
    fwdwavelet(level1matrix_, 256, coeffmatrix_);
    progress.tick();
    for (int y = 1; y <= kWatermarkSize; ++y) {
        Coefficient *c = coeffmatrix_.row(y);
        for (int x = 1; x <= kWatermarkSize; ++x)
            c[x] = c[x] < threshold ? 0 : std::abs(c[x]);
    }
}

OMBREL_ROW_LOOPS void EmbeddingPipeline::drawCoefficients(Surface &picture, Progress *progress) const {
    const bool whole = picture.width() > kWatermarkSize && picture.height() > kWatermarkSize;
    for (int y = 1; y <= kWatermarkSize; ++y) {
        const Coefficient *c = coeffmatrix_.row(y);
        if (whole) {
            ColourWord *dst = picture.image().row(y);
            for (int x = 1; x <= kWatermarkSize; ++x)
                dst[x] = greyWord(std::clamp<int>(c[x], 0, 255));
        } else {
            for (int x = 1; x <= kWatermarkSize; ++x)
                picture.pset(x, y, rgb(c[x], c[x], c[x]));
        }
        if (progress)
            progress->tick();
    }
}

OMBREL_ROW_LOOPS void EmbeddingPipeline::quantise() {
    // A magnitude of 128 would give 8, which three bits cannot carry (its
    // digits would read back as 4); 7 is the nearest value they hold.
    for (int y = 1; y <= kWatermarkSize; ++y) {
        Coefficient *c = coeffmatrix_.row(y);
        // Magnitudes are never negative, so a shift is the quotient.
        for (int x = y <= kBandSize ? kFirstDetail : 1; x <= kWatermarkSize; ++x)
            c[x] = std::min(c[x] >> 4, 7);
    }
}

void EmbeddingPipeline::embedInto(Surface &cover, Progress &progress) const {
    embedStages(covermatrix_, coeffmatrix_, cover, progress, nullptr);
}

void EmbeddingPipeline::embedInPlace(Surface &cover, Progress &progress, double *psnr,
                                     const Keystream *key) const {
    Image &pixels = cover.image();
    const double count = static_cast<double>(pixels.width) * pixels.height;
    if (!key) {
        double errors = 0;
        embedStages(CoverRows(pixels), coeffmatrix_, cover, progress, psnr ? &errors : nullptr);
        if (psnr)
            *psnr = psnrOf(errors / count);
        return;
    }
    // The keystream changes the bits after the stages wrote them, so the
    // errors are summed against a copy of the cover as it was.
    Image before;
    if (psnr)
        before = pixels;
    embedStages(CoverRows(pixels), coeffmatrix_, cover, progress, nullptr);
    key->apply(pixels);
    if (psnr) {
        double errors = 0;
        for (std::size_t i = 0; i < pixels.pixels.size(); ++i)
            if (pixels.pixels[i] != before.pixels[i])
                errors += squaredGreyError(before.pixels[i], pixels.pixels[i]);
        *psnr = psnrOf(errors / count);
    }
}

void EmbeddingPipeline::run(const Surface &cover, const Surface &watermark, int threshold,
                            EmbedResult &into, Progress &progress) {
    progress.start(kEmbedProgressMax);
    // A cover as wide as the layout is read where it lies, in the copy that
    // becomes the watermarked image; a narrower one through the cover matrix.
    const bool inPlace = cover.width() >= kCoverWidth;
    if (inPlace)
        for (int y = 1; y <= kCoverHeight; ++y) // a tick for each row readCover would copy
            progress.tick();
    else
        readCover(cover, progress);
    readWatermark(watermark, progress);
    transform(threshold, progress);
    drawCoefficients(into.firstPicture, &progress);
    quantise();
    drawCoefficients(into.secondPicture, nullptr);
    into.watermarked = cover;
    if (inPlace)
        embedInPlace(into.watermarked, progress);
    else
        embedInto(into.watermarked, progress);
}

EmbedResult embed(const Surface &cover, const Surface &watermark, int threshold,
                  const ProgressFn &progressFn, const Keystream *key) {
    Progress progress(progressFn);
    EmbeddingPipeline pipeline;
    EmbedResult result{cover, makeWaveletSurface(), makeWaveletSurface()};
    pipeline.run(cover, watermark, threshold, result, progress);
    if (key)
        key->apply(result.watermarked.image());
    return result;
}

} // namespace ombrel
