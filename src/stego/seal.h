// SPDX-License-Identifier: Apache-2.0
#pragma once

// The seal: a keyed tag in every unit of a picture of any size, so that the
// picture as it is, pixel for pixel, can be proved unchanged. It needs no
// watermark and leaves the watermark format alone.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace ombrel {

// The samples of a picture as the seal reads and writes them: 8 or 16 bits,
// 1 to 4 channels interleaved (grey, grey and alpha, RGB, RGBA), each row
// rowStride samples after the one before. 16-bit samples are in host order.
struct SealPixels {
    int width = 0, height = 0;
    int channels = 0;              // 1 to 4
    int bitDepth = 8;              // 8 or 16
    std::ptrdiff_t rowStride = 0;  // in samples, at least width * channels
    void *samples = nullptr;       // std::uint8_t or std::uint16_t

    bool hasAlpha() const { return channels == 2 || channels == 4; }
    // The channels that carry tag bits: alpha is hashed, never written.
    int colourChannels() const { return hasAlpha() ? channels - 1 : channels; }
};

// How a picture is cut into units: 8 x 8 blocks, a remainder narrower than 8
// at the right or bottom edge joining the last whole block of its row or
// column (a unit is 8 to 15 pixels a side; under 8 only in a picture that
// small).
struct SealUnits {
    int width = 0, height = 0; // of the picture
    int across = 0, down = 0;  // units
    int left(int ux) const;    // first pixel column of unit column ux
    int unitWidth(int ux) const;
    int top(int uy) const;
    int unitHeight(int uy) const;
    int count() const { return across * down; }
};
SealUnits sealUnits(int width, int height);

// What a check found.
struct SealReport {
    struct Box {
        int left, top, right, bottom; // pixels, inclusive
    };
    SealUnits units;
    int unitsChecked = 0;
    int unitsAltered = 0;
    std::optional<Box> alteredBox;     // of the altered units
    std::vector<std::uint8_t> altered; // per unit, row by row: 1 when altered

    bool intact() const { return unitsAltered == 0; }
    // Every unit fails: another key, id or size, a picture never sealed, or
    // one replaced whole; a picture of one unit that fails is this too.
    bool noUnitMatches() const { return unitsChecked > 0 && unitsAltered == unitsChecked; }
    bool unitAltered(int ux, int uy) const { return altered[uy * units.across + ux] != 0; }
};

// Seals the picture in place: every unit's tag goes into the lowest bit of
// one colour sample per pixel (docs/keyed-format.md, "The seal", gives the
// format). Threads 0 means every core; the result is the same on any number.
// Throws std::invalid_argument for a picture the seal cannot take (a depth
// other than 8 or 16, 0 or more than 4 channels, an empty picture, a stride
// too short) or a secret too short (checkKey).
void sealPicture(const SealPixels &picture, std::span<const std::uint8_t> secret, std::string_view id,
                 int threads = 0);

// Checks every unit of a picture against the tags it carries; the picture is
// not changed.
SealReport checkSeal(const SealPixels &picture, std::span<const std::uint8_t> secret, std::string_view id,
                     int threads = 0);

} // namespace ombrel
