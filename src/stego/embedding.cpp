// SPDX-License-Identifier: Apache-2.0
#include "stego/embedding.h"

#include "imaging/quality.h"
#include "wavelet/haar.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <utility>
#include <vector>

namespace ombrel {

namespace {

// Cover row r (1..768) as its stage writes it, ticking as the bar counts it:
// approximation row r, right row r - 128 or lower column r - 640. The stages
// cover the rows top to bottom, so the rows in order are the stages in order.
void embedCoverRow(int r, const CoverRows &source, const CoeffMatrix &coeff, Surface &cover,
                   Progress &progress, double *errors) {
    if (r <= kBandSize) {
        embedApproximationRow(r, source, coeff, cover, errors);
        progress.tick(4);
    } else if (r <= kLowerRowOffset) {
        embedRightRow(r - kRightRowOffset, source, coeff, cover, errors);
        progress.tick();
    } else {
        embedLowerColumn(r - kLowerRowOffset, source, coeff, cover, errors);
        progress.tick();
    }
}

// The three stages; errors as the stages take it.
void embedStages(const CoverRows &source, const CoeffMatrix &coeff, Surface &cover,
                 Progress &progress, double *errors) {
    for (int r = 1; r <= kCoverHeight; ++r)
        embedCoverRow(r, source, coeff, cover, progress, errors);
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
                                     BlockHashes *keyed) const {
    Image &pixels = cover.image();
    const double count = static_cast<double>(pixels.width) * pixels.height;
    if (!keyed) {
        double errors = 0;
        embedStages(CoverRows(pixels), coeffmatrix_, cover, progress, psnr ? &errors : nullptr);
        if (psnr)
            *psnr = psnrOf(errors / count);
        return;
    }
    // Keyed, the mark is written a block row at a time: its rows embedded,
    // then their carried bits keyed, with psnr their errors summed on the way
    // against the eight rows as they were.
    assert(pixels.width == kCoverWidth && pixels.height == kCoverHeight);
    constexpr int kRows = Keystream::kBlock;
    std::vector<ColourWord> before(psnr ? std::size_t{kRows} * kCoverWidth : 0);
    double errors = 0;
    const CoverRows source(pixels);
    for (int by = 0; by < Keystream::kBlocksDown; ++by) {
        const Keystream::RowHashes &hashes = keyed->row(by);
        ColourWord *rows = pixels.row(by * kRows);
        if (psnr)
            std::copy(rows, rows + before.size(), before.begin());
        for (int r = std::max(by * kRows, 1); r < (by + 1) * kRows; ++r)
            embedCoverRow(r, source, coeffmatrix_, cover, progress, nullptr);
        if (psnr)
            errors = Keystream::applyRowSumming(pixels, by, hashes, before.data(), errors);
        else
            Keystream::applyRow(pixels, by, hashes);
    }
    // The last lower column would go into row 768, below the cover: it only ticks.
    embedCoverRow(kCoverHeight, source, coeffmatrix_, cover, progress, nullptr);
    if (psnr)
        *psnr = psnrOf(errors / count);
}

EmbeddingPipeline &EmbedStage::spend() {
    assert(pipeline_ && "an embedding step taken twice");
    return *std::exchange(pipeline_, nullptr);
}

const EmbeddingPipeline &EmbedStage::pipeline() const {
    assert(pipeline_ && "an embedding stage used after its step");
    return *pipeline_;
}

EmbedRead EmbeddingPipeline::read(const Surface *cover, const Surface *watermark, Progress &progress) {
    if (cover)
        readCover(*cover, progress);
    if (watermark)
        readWatermark(*watermark, progress);
    return EmbedRead(*this);
}

EmbedThresholded EmbedRead::transform(int threshold, Progress &progress, Surface *firstPicture) && {
    EmbeddingPipeline &p = spend();
    p.transform(threshold, progress);
    if (firstPicture)
        p.drawCoefficients(*firstPicture, &progress);
    return EmbedThresholded(p);
}

EmbedQuantised EmbedThresholded::quantise(Surface *secondPicture) && {
    EmbeddingPipeline &p = spend();
    p.quantise();
    if (secondPicture)
        p.drawCoefficients(*secondPicture, nullptr);
    return EmbedQuantised(p);
}

void EmbedQuantised::embedInto(Surface &cover, Progress &progress) const {
    pipeline().embedInto(cover, progress);
}

void EmbedQuantised::embedInPlace(Surface &cover, Progress &progress, double *psnr,
                                  BlockHashes *keyed) const {
    pipeline().embedInPlace(cover, progress, psnr, keyed);
}

void EmbeddingPipeline::run(const Surface &cover, const Surface &watermark, int threshold,
                            EmbedResult &into, Progress &progress) {
    // A cover as wide as the layout is read where it lies, in the copy that
    // becomes the watermarked image; a narrower one through the cover matrix.
    const bool inPlace = cover.width() >= kCoverWidth;
    if (inPlace)
        for (int y = 1; y <= kCoverHeight; ++y) // a tick for each row readCover would copy
            progress.tick();
    const EmbedQuantised mark = read(inPlace ? nullptr : &cover, &watermark, progress)
                                    .transform(threshold, progress, &into.firstPicture)
                                    .quantise(&into.secondPicture);
    into.watermarked = cover;
    if (inPlace)
        mark.embedInPlace(into.watermarked, progress);
    else
        mark.embedInto(into.watermarked, progress);
}

EmbedResult embed(const Surface &cover, const Surface &watermark, int threshold, Progress *progress,
                  const Keystream *key) {
    Progress quiet;
    EmbeddingPipeline pipeline;
    EmbedResult result{cover, makeWaveletSurface(), makeWaveletSurface()};
    pipeline.run(cover, watermark, threshold, result, progress ? *progress : quiet);
    if (key)
        key->apply(result.watermarked.image());
    return result;
}

} // namespace ombrel
