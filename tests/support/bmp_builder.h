// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/surface.h"

#include <string>
#include <vector>

namespace ombrel::test {

// Builds Windows bitmap files byte by byte, in every layout the loader must
// accept, so tests and the fuzz corpus need no binary fixtures.
struct BmpLayout {
    int width = 4;
    int height = 3;
    int bits = 24;           // 1, 4, 8 (palette), 16 (5-5-5), 24, 32
    int headerSize = 40;     // 12, 40, 108 (v4) or 124 (v5)
    bool topDown = false;
    int compression = 0;     // 0 none, 1 RLE8, 2 RLE4
};

// The picture a layout encodes: a fixed pattern of colours that the format can
// carry exactly (palette entries for 1/4/8 bits, 5-bit steps for 16 bits).
Image patternFor(const BmpLayout &layout);

std::string makeBmp(const BmpLayout &layout);

struct NamedLayout {
    const char *name;
    BmpLayout layout;
};
// One small picture of every layout the loader accepts.
const std::vector<NamedLayout> &everyLayout();

// A pseudo-random picture (fixed seed) for round trips.
Image randomImage(int width, int height, unsigned seed, bool grey = false);

} // namespace ombrel::test
