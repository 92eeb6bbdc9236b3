// SPDX-License-Identifier: Apache-2.0
#pragma once

// Tampering, as someone who edits a marked picture does it: a region of about
// a tenth of the picture replaced, at a fixed place, and the 8 x 8 blocks
// that really changed, to score a check against.

#include "imaging/surface.h"
#include "stego/verify.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace ombrel::cli {

// An attack or tamper that writes into a buffer, as one that returns its
// picture.
template <void (*Into)(const Image &, Image &)>
Image made(const Image &image) {
    Image out;
    Into(image, out);
    return out;
}

// The region every tamper but the text replaces: 320 x 246 pixels from
// (600, 300), a tenth of 1024 x 768.
struct Region {
    int left, top, width, height;
};
inline constexpr Region kTamperRegion{600, 300, 320, 246};

// Each as a new picture, or written into out, whose buffer may be reused.
Image fillZero(const Image &image);
void fillZero(const Image &image, Image &out);
Image fillRandom(const Image &image);
void fillRandom(const Image &image, Image &out);
// The region copied from elsewhere in the same picture.
Image copyMove(const Image &image);
void copyMove(const Image &image, Image &out);
// A line of text drawn across the picture with Qt's painter.
Image drawnText(const Image &image);
void drawnText(const Image &image, Image &out);
// Draws the text once, on this thread: a command that tampers from several
// threads asks for it first.
void prepareTamperText(int width = 1024);
// The region taken from another picture of the same size.
Image collage(const Image &image, const Image &donor);

// Per 8 x 8 block, row by row as a check's report holds them: 1 where any
// pixel differs between the two pictures.
std::vector<std::uint8_t> changedBlocks(const Image &before, const Image &after);

// How a check's altered blocks match the blocks that changed, over the blocks
// that carry bits: precision none when nothing was flagged, recall none when
// nothing that carries bits changed.
struct TamperScore {
    std::optional<double> precision, recall;
    bool intact = true;
};
TamperScore scoreTamper(const std::vector<std::uint8_t> &changed, const MarkReport &report);

} // namespace ombrel::cli
