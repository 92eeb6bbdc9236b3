// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/surface.h"
#include "stego/keyed_mark.h"
#include "stego/layout.h"
#include "stego/progress.h"

#include <utility>

namespace ombrel {

// Pixel surfaces the embedding draws its coefficient pictures on.
inline Surface makeWaveletSurface() { return Surface(kWaveletPictureSize, kWaveletPictureSize); }

struct EmbedResult {
    Surface watermarked;
    Surface firstPicture;  // magnitudes after thresholding
    Surface secondPicture; // after quantisation of the differences
};

class EmbeddingPipeline;

// The stages of one embedding. Each is made only by the step before it and
// spent by the step after it, so the steps can only be taken in their one
// order (read, transform and threshold, quantise, mark); a caller may stop
// between two, as the embedding screen does for its threshold question and
// its fixed files, but not reorder, repeat or skip one.
class EmbedStage {
public:
    EmbedStage(EmbedStage &&other) noexcept : pipeline_(std::exchange(other.pipeline_, nullptr)) {}
    EmbedStage(const EmbedStage &) = delete;
    EmbedStage &operator=(const EmbedStage &) = delete;
    EmbedStage &operator=(EmbedStage &&) = delete;

protected:
    explicit EmbedStage(EmbeddingPipeline &pipeline) : pipeline_(&pipeline) {}
    // The pipeline, which a stage gives up once its step is taken.
    EmbeddingPipeline &spend();
    const EmbeddingPipeline &pipeline() const;

private:
    EmbeddingPipeline *pipeline_;
};

class EmbedThresholded;
class EmbedQuantised;

// The pictures read into their matrices.
class EmbedRead : public EmbedStage {
public:
    // Two-level transform (a tick each), then every coefficient below the
    // threshold becomes 0 and every one its magnitude; with firstPicture,
    // the magnitudes drawn on it as grey, a tick a row.
    EmbedThresholded transform(int threshold, Progress &progress, Surface *firstPicture = nullptr) &&;

private:
    friend class EmbeddingPipeline;
    explicit EmbedRead(EmbeddingPipeline &pipeline) : EmbedStage(pipeline) {}
};

// The coefficients transformed and thresholded.
class EmbedThresholded : public EmbedStage {
public:
    // Difference coefficients become their sixteenths, at most 7; with
    // secondPicture, the coefficients drawn on it as grey, without ticks.
    EmbedQuantised quantise(Surface *secondPicture = nullptr) &&;

private:
    friend class EmbedRead;
    explicit EmbedThresholded(EmbeddingPipeline &pipeline) : EmbedStage(pipeline) {}
};

// The mark ready: as many covers as wanted are marked with it, each on its
// own (a batch marks many at once from one).
class EmbedQuantised : public EmbedStage {
public:
    // Writes every coefficient into the low bits of the cover surface, the
    // kept bits from the cover matrix; a tick a cover row, four for each of
    // the approximation band's.
    void embedInto(Surface &cover, Progress &progress) const;
    // The same without the cover matrix: the kept bits are read from the
    // cover's own pixels, which must be at least 1024 wide, as they are
    // overwritten; ticks as embedInto. With psnr, the PSNR of the result
    // against the cover as it was, summed on the way. With keyed, the hashes
    // of this cover's blocks, the mark is keyed: the cover must then be
    // 1024 x 768.
    void embedInPlace(Surface &cover, Progress &progress, double *psnr = nullptr,
                      BlockHashes *keyed = nullptr) const;

private:
    friend class EmbedThresholded;
    explicit EmbedQuantised(EmbeddingPipeline &pipeline) : EmbedStage(pipeline) {}
};

// The embedding's matrices, which outlive one run: the embedding screen
// keeps one of these, and a picture that is not read leaves its matrix as
// the previous run left it.
class EmbeddingPipeline {
public:
    EmbeddingPipeline();

    // The first step: reads the cover's pixels (1..1024, 1..768) into the
    // cover matrix and the red channel of the watermark's (1..512, 1..512)
    // into the watermark matrix, each a tick a row, either left out when
    // null (a cover marked in place needs no cover matrix).
    EmbedRead read(const Surface *cover, const Surface *watermark, Progress &progress);

    // Every step in order, into surfaces the caller may reuse from run to
    // run; the bar is the caller's to start.
    void run(const Surface &cover, const Surface &watermark, int threshold, EmbedResult &into,
             Progress &progress);

    const CoverMatrix &covermatrix() const { return covermatrix_; }
    const CoeffMatrix &watermatrix() const { return watermatrix_; }
    const CoeffMatrix &coeffmatrix() const { return coeffmatrix_; }

private:
    friend class EmbedRead;
    friend class EmbedThresholded;
    friend class EmbedQuantised;

    void readCover(const Surface &cover, Progress &progress);
    void readWatermark(const Surface &watermark, Progress &progress);
    void transform(int threshold, Progress &progress);
    void drawCoefficients(Surface &picture, Progress *progress) const;
    void quantise();
    void embedInto(Surface &cover, Progress &progress) const;
    void embedInPlace(Surface &cover, Progress &progress, double *psnr, BlockHashes *keyed) const;

    CoverMatrix covermatrix_;
    CoeffMatrix watermatrix_;
    CoeffMatrix level1matrix_;
    CoeffMatrix coeffmatrix_;
};

// The whole embedding on surfaces, with no window: the cover is copied and
// the copy watermarked; with key, a keyed mark in a 1024 x 768 cover. With
// progress, ticked as the steps go.
EmbedResult embed(const Surface &cover, const Surface &watermark, int threshold,
                  Progress *progress = nullptr, const Keystream *key = nullptr);

} // namespace ombrel
