// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/surface.h"
#include "stego/keyed_mark.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace ombrel {

// The bits that embedding one watermark at one threshold writes, wherever
// they fall in a 1024 x 768 image: which bits of each pixel are written, and
// their values. Nothing else of the cover reaches them, so one set serves
// every image checked against that watermark.
class MarkBits {
public:
    MarkBits(const Surface &watermark, int threshold);

    int width() const { return width_; }
    int height() const { return height_; }
    // Per pixel, row by row: the written bits as a mask, and their values.
    const std::vector<ColourWord> &mask() const { return mask_; }
    const std::vector<ColourWord> &bits() const { return bits_; }
    long long bitCount() const { return bitCount_; }

private:
    int width_, height_;
    std::vector<ColourWord> mask_;
    std::vector<ColourWord> bits_;
    long long bitCount_ = 0;
};

// What a check of an image against the bits of a mark found.
struct MarkReport {
    enum Pixel : std::uint8_t { Unchecked = 0, Agrees = 1, Differs = 2 };
    struct Box {
        int left, top, right, bottom; // pixels, inclusive
    };
    static constexpr int kBlock = 8;

    int width = 0, height = 0;
    long long bitsCompared = 0;
    long long bitsDiffering = 0;
    long long pixelsDiffering = 0;
    int blocksChecked = 0; // 8 x 8 blocks with at least one carried bit
    int blocksAltered = 0; // of those, the blocks with at least one differing bit
    std::optional<Box> alteredBox; // bounding box of the flagged blocks
    std::vector<std::uint8_t> pixels; // a Pixel per pixel, row by row
    std::vector<std::uint8_t> altered; // per block, row by row: 1 when altered
    // Per block, row by row: 1 where a change can be. The altered blocks, and
    // for a keyed check every block an altered block's hash covers: a top
    // corner block that carries nothing lies in the span of the carrying
    // block it is hashed with, and a change there shows only in that block.
    std::vector<std::uint8_t> flagged;

    bool intact() const { return bitsDiffering == 0; }
    // Every checked block fails: another key or id, a picture never marked,
    // or one replaced whole; no place is left to point at.
    bool noBlockMatches() const { return blocksChecked > 0 && blocksAltered == blocksChecked; }
    double differingShare() const {
        return bitsCompared ? static_cast<double>(bitsDiffering) / bitsCompared : 0.0;
    }
    int blocksAcross() const { return (width + kBlock - 1) / kBlock; }
    bool blockAltered(int bx, int by) const { return altered[by * blocksAcross() + bx] != 0; }
    bool blockFlagged(int bx, int by) const { return flagged[by * blocksAcross() + bx] != 0; }
};

// Compares the carried bits of image (which must have the mark's size) with
// the bits of the mark; with key, with the mark's bits XOR the keystream of
// the image itself, so a change anywhere in a block shows in its carried bits.
// Only a keyed check flags the corner blocks of a span: a keyless mark
// hashes nothing, so a change in a corner is simply unseen.
MarkReport verifyMark(const Image &image, const MarkBits &mark, const Keystream *key = nullptr);
// The keyed check of an image whose keystream is already off.
MarkReport verifyUnkeyed(const Image &unkeyed, const MarkBits &mark);

// A dimmed grey copy of the image, flagged blocks in red and pixels that
// carry no bit in a dark blue-grey.
Image tamperMap(const Image &image, const MarkReport &report);

} // namespace ombrel
