// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/surface.h"
#include "stego/verify.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ombrel::cli {

// One named, deterministic change to a picture; the size is always kept.
struct Attack {
    std::string_view name;
    Image (*apply)(const Image &);
    int jpegQuality = 0; // a JPEG round trip at this quality; 0 for the others
    bool tamper = false; // an edit of a region, scored against the blocks it changed
    // The same change written into out, whose buffer a run of attacks reuses;
    // none for those done through Qt, which make pictures of their own.
    void (*into)(const Image &, Image &out) = nullptr;
};

// The JPEG file a jpeg attack decodes, byte for byte, so --keep can save it.
std::string jpegFile(const Image &image, int quality);

// The fixed list, in the order tables show it; random ones use fixed seeds.
const std::vector<Attack> &attacks();

// How one attacked picture compares: PSNR against the picture attacked and,
// when a mark is given, the NC of the extracted watermark against it and the
// share of carried bits that still agree.
struct AttackScore {
    std::string_view attack;
    double psnr = 0;
    std::optional<double> nc;
    std::optional<double> bitsAgreeing;
    // Tampers only: how verify's altered blocks match the blocks that changed,
    // and whether verify said "altered".
    std::optional<double> tamperPrecision, tamperRecall;
    bool tamperFound = false;
};

// The watermark and the bits it writes at one threshold; with key, checked
// and extracted as a keyed mark.
struct MarkToCheck {
    const Image &watermark;
    const MarkBits &bits;
    const Keystream *key = nullptr;
};

// Runs every attack on image, in order; keep, if set, sees each result.
std::vector<AttackScore>
scoreAttacks(const Image &image, const std::optional<MarkToCheck> &mark,
             const std::function<void(const Attack &, Image &&)> &keep = {});

// The collage tamper, which needs a second picture: image with the tamper
// region taken from donor, another image marked with the same watermark and
// key but its own id, scored as the tampers of the list are.
inline constexpr std::string_view kCollage = "collage";
AttackScore scoreCollage(const Image &image, const Image &donor, const MarkToCheck &mark);

} // namespace ombrel::cli
