// SPDX-License-Identifier: Apache-2.0
#include "windows/session.h"

#include "platform/platform.h"
#include "stego/embedding.h"
#include "stego/extraction.h"
#include "stego/layout.h"

namespace ombrel::windows {

namespace {

// The watermark's buffer measures 333 x 377 until a picture is loaded into
// it; loading takes the picture's own size.
constexpr int kWatermarkBufferWidth = 333;
constexpr int kWatermarkBufferHeight = 377;

} // namespace

QString fixed_files::path(const char *name) { return platform::fixedFile(QString::fromLatin1(name)); }

Surface &PixelBuffers::piccover() {
    if (!cover_)
        cover_.emplace(kCoverWidth, kCoverHeight);
    return *cover_;
}

Surface &PixelBuffers::picwater() {
    if (!water_)
        water_.emplace(kWatermarkBufferWidth, kWatermarkBufferHeight);
    return *water_;
}

Surface &PixelBuffers::picwavelet() {
    if (!wavelet_)
        wavelet_.emplace(makeWaveletSurface());
    return *wavelet_;
}

Surface &PixelBuffers::decwater() {
    if (!decwater_)
        decwater_.emplace(makeExtractedSurface());
    return *decwater_;
}

Session::Session() = default;
Session::~Session() = default;

EmbeddingPipeline &Session::embedding() {
    if (!embedding_)
        embedding_ = std::make_unique<EmbeddingPipeline>();
    return *embedding_;
}

ExtractionPipeline &Session::extraction() {
    if (!extraction_)
        extraction_ = std::make_unique<ExtractionPipeline>();
    return *extraction_;
}

} // namespace ombrel::windows
