// SPDX-License-Identifier: Apache-2.0
#include "marking/sealing.h"

#include "imaging/picture_formats.h"
#include "stego/embedding.h"

namespace ombrel::marking {

Image markCover(const Surface &cover, const Surface &watermark, int threshold, const Keystream *key) {
    return embed(cover, watermark, threshold, nullptr, key).watermarked.image();
}

void seal(const SealRequest &request) {
    const auto format = formatForName(request.output, true);
    if (!format)
        throw Refusal(format.error().message());
    const std::optional<Keystream> key = request.key.keystreamFor(request.output);
    const Surface cover = coverSurface(request.cover, request.fit);
    const Surface watermark = watermarkSurface(request.watermark, request.fit);
    const Image marked = markCover(cover, watermark, request.threshold, keyed(key));
    PictureToWrite file{&marked, request.output};
    file.format = *format;
    // One picture a person waits for: worth forcing to disk before it replaces one.
    if (const auto saved = savePictures({file}, Durability::Synced); !saved)
        throw Refusal(saved.error().message());
}

} // namespace ombrel::marking
