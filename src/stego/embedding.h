// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/surface.h"
#include "stego/keyed_mark.h"
#include "stego/layout.h"
#include "stego/progress.h"

namespace ombrel {

// Pixel surfaces the embedding draws its coefficient pictures on.
inline Surface makeWaveletSurface() { return Surface(kWaveletPictureSize, kWaveletPictureSize); }

struct EmbedResult {
    Surface watermarked;
    Surface firstPicture;  // magnitudes after thresholding
    Surface secondPicture; // after quantisation of the differences
};

// The embedding, step by step, on matrices that outlive one run: the embedding
// screen keeps one of these, and a step that is skipped leaves its matrix as
// the previous run left it.
class EmbeddingPipeline {
public:
    EmbeddingPipeline();

    // Reads cover pixels (1..1024, 1..768) into covermatrix; one tick a row.
    void readCover(const Surface &cover, Progress &progress);
    // Reads the red channel of watermark pixels (1..512, 1..512); one tick a row.
    void readWatermark(const Surface &watermark, Progress &progress);
    // Two-level transform (a tick each), then every coefficient below the
    // threshold becomes 0 and every one its magnitude.
    void transform(int threshold, Progress &progress);
    // Draws coeffmatrix as grey on a wavelet surface, ticking each row if asked.
    void drawCoefficients(Surface &picture, Progress *progress) const;
    // Difference coefficients become their sixteenths, at most 7.
    void quantise();
    // Writes every coefficient into the low bits of the cover surface.
    void embedInto(Surface &cover, Progress &progress) const;
    // The same without the cover matrix: the kept bits are read from the
    // cover's own pixels, which must be at least 1024 wide, as they are
    // overwritten; ticks as embedInto. With psnr, the PSNR of the result
    // against the cover as it was, summed on the way. With keyed, the hashes
    // of this cover's blocks, the mark is keyed: the cover must then be
    // 1024 x 768.
    void embedInPlace(Surface &cover, Progress &progress, double *psnr = nullptr,
                      BlockHashes *keyed = nullptr) const;

    // Every step in order, into surfaces the caller may reuse from run to run.
    void run(const Surface &cover, const Surface &watermark, int threshold, EmbedResult &into,
             Progress &progress);

    const CoverMatrix &covermatrix() const { return covermatrix_; }
    const CoeffMatrix &watermatrix() const { return watermatrix_; }
    const CoeffMatrix &coeffmatrix() const { return coeffmatrix_; }

private:
    CoverMatrix covermatrix_;
    CoeffMatrix watermatrix_;
    CoeffMatrix level1matrix_;
    CoeffMatrix coeffmatrix_;
};


// The whole embedding on surfaces, with no window: the cover is copied and
// the copy watermarked; with key, a keyed mark in a 1024 x 768 cover.
EmbedResult embed(const Surface &cover, const Surface &watermark, int threshold,
                  const ProgressFn &progress = {}, const Keystream *key = nullptr);

} // namespace ombrel
