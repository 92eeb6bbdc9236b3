// SPDX-License-Identifier: Apache-2.0
#include "stego/verify.h"

#include "imaging/row_loops.h"
#include "stego/embedding.h"

#include <algorithm>
#include <bit>

namespace ombrel {

namespace {

constexpr ColourWord kAllBits = 0xFFFFFF;

enum class Spans { Blocks, Keyed };

// One row's differing carried bits and each pixel's state; how many differ.
OMBREL_ROW_LOOPS int compareRow(const ColourWord *__restrict seen, const ColourWord *__restrict bits,
                                const ColourWord *__restrict masks, int n, std::uint32_t *__restrict diff,
                                std::uint8_t *__restrict pixels) {
    // Unchecked, or Agrees or Differs where the mask carries bits.
    static_assert(MarkReport::Agrees == MarkReport::Unchecked + 1 && MarkReport::Differs == MarkReport::Agrees + 1);
    int differing = 0;
    for (int x = 0; x < n; ++x) {
        const std::uint32_t d = static_cast<std::uint32_t>((seen[x] ^ bits[x]) & masks[x]);
        diff[x] = d;
        pixels[x] = static_cast<std::uint8_t>((masks[x] != 0) + (d != 0));
        differing += d != 0;
    }
    return differing;
}

OMBREL_BIT_COUNTS MarkReport check(const Image &image, const MarkBits &mark, Spans spans) {
    MarkReport r;
    r.width = mark.width();
    r.height = mark.height();
    r.pixels.assign(static_cast<std::size_t>(r.width) * r.height, MarkReport::Unchecked);
    const int across = r.blocksAcross();
    const int down = (r.height + MarkReport::kBlock - 1) / MarkReport::kBlock;
    r.altered.assign(static_cast<std::size_t>(across) * down, 0);
    r.flagged = r.altered;
    std::vector<std::uint8_t> checked(r.altered.size(), 0);
    if (image.width != r.width || image.height != r.height)
        return r;

    r.bitsCompared = mark.bitCount();
    // A row at a time, in passes without a branch a pixel (whether a pixel
    // differs is as good as random in an attacked picture): the differing
    // bits and each pixel's state, then their count, two pixels a count,
    // then each block's.
    long long bitsDiffering = 0, pixelsDiffering = 0;
    // Room for a last pixel's partner when the width is odd, always zero.
    std::vector<std::uint32_t> diff(static_cast<std::size_t>(r.width + 1) / 2 * 2, 0);
    for (int y = 0; y < r.height; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * r.width;
        const ColourWord *masks = mark.mask().data() + row, *bits = mark.bits().data() + row;
        const ColourWord *seen = image.pixels.data() + row;
        std::uint8_t *pixels = r.pixels.data() + row;
        pixelsDiffering += compareRow(seen, bits, masks, r.width, diff.data(), pixels);
        for (std::size_t x = 0; x < diff.size(); x += 2)
            bitsDiffering += std::popcount(diff[x] | std::uint64_t{diff[x + 1]} << 32);
        const std::size_t blockRow = static_cast<std::size_t>(y / MarkReport::kBlock) * across;
        for (int left = 0; left < r.width; left += MarkReport::kBlock) {
            const int right = std::min(left + MarkReport::kBlock, r.width);
            ColourWord anyMask = 0;
            std::uint32_t anyDiff = 0;
            for (int x = left; x < right; ++x) {
                anyMask |= masks[x];
                anyDiff |= diff[x];
            }
            const std::size_t block = blockRow + left / MarkReport::kBlock;
            checked[block] |= anyMask != 0;
            r.altered[block] |= anyDiff != 0;
        }
    }
    r.bitsDiffering = bitsDiffering;
    r.pixelsDiffering = pixelsDiffering;
    for (std::size_t b = 0; b < r.altered.size(); ++b) {
        r.blocksChecked += checked[b];
        r.blocksAltered += r.altered[b];
    }
    // A keyed block's hash reads its whole span, so a failing one may have
    // been changed anywhere in it: flag the corner blocks folded into it.
    const bool keyedCover = spans == Spans::Keyed && r.width == Keystream::kBlocksAcross * MarkReport::kBlock &&
                            down == Keystream::kBlocksDown;
    for (int by = 0; by < down; ++by)
        for (int bx = 0; bx < across; ++bx) {
            const int into = keyedCover ? foldedInto(bx, by) : bx;
            r.flagged[static_cast<std::size_t>(by) * across + bx] =
                r.altered[static_cast<std::size_t>(by) * across + into];
        }
    for (std::size_t b = 0; b < r.flagged.size(); ++b) {
        if (!r.flagged[b])
            continue;
        const int left = static_cast<int>(b % across) * MarkReport::kBlock;
        const int top = static_cast<int>(b / across) * MarkReport::kBlock;
        const int right = std::min(left + MarkReport::kBlock, r.width) - 1;
        const int bottom = std::min(top + MarkReport::kBlock, r.height) - 1;
        if (!r.alteredBox)
            r.alteredBox = MarkReport::Box{left, top, right, bottom};
        auto &box = *r.alteredBox;
        box = {std::min(box.left, left), std::min(box.top, top), std::max(box.right, right),
               std::max(box.bottom, bottom)};
    }
    return r;
}

} // namespace

MarkBits::MarkBits(const Surface &watermark, int threshold)
    : width_(kCoverWidth), height_(kCoverHeight) {
    // The embedding keeps every bit it does not write, so marking an all-zero
    // and an all-one cover leaves exactly the written bits agreeing.
    const Image zeros = embed(Surface(width_, height_, 0), watermark, threshold).watermarked.image();
    const Image ones =
        embed(Surface(width_, height_, kAllBits), watermark, threshold).watermarked.image();
    mask_.resize(zeros.pixels.size());
    bits_.resize(zeros.pixels.size());
    for (std::size_t i = 0; i < zeros.pixels.size(); ++i) {
        mask_[i] = ~(zeros.pixels[i] ^ ones.pixels[i]) & kAllBits;
        bits_[i] = zeros.pixels[i] & mask_[i];
        bitCount_ += std::popcount(static_cast<std::uint32_t>(mask_[i]));
    }
}

MarkReport verifyMark(const Image &image, const MarkBits &mark, const Keystream *key) {
    if (key && image.width == mark.width() && image.height == mark.height()) {
        // Undoing the keystream is XORing it again; the keyless mark remains.
        Image unkeyed = image;
        key->apply(unkeyed);
        return verifyUnkeyed(unkeyed, mark);
    }
    return check(image, mark, key ? Spans::Keyed : Spans::Blocks);
}

MarkReport verifyUnkeyed(const Image &unkeyed, const MarkBits &mark) { return check(unkeyed, mark, Spans::Keyed); }

Image tamperMap(const Image &image, const MarkReport &report) {
    Image map(image.width, image.height);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const Channels c = split(image.at(x, y));
            const int luma = (299 * c.red + 587 * c.green + 114 * c.blue) / 1000;
            const int dim = 64 + luma / 3;
            const bool inReport = x < report.width && y < report.height;
            const std::size_t i = static_cast<std::size_t>(y) * report.width + x;
            ColourWord out;
            if (inReport &&
                report.blockFlagged(x / MarkReport::kBlock, y / MarkReport::kBlock))
                out = rgb(200 + luma / 5, dim / 4, dim / 4);
            else if (!inReport || report.pixels[i] == MarkReport::Unchecked)
                out = rgb(dim / 2, dim / 2, dim / 2 + 40);
            else
                out = rgb(dim, dim, dim);
            map.at(x, y) = out;
        }
    }
    return map;
}

} // namespace ombrel
