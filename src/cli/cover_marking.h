// SPDX-License-Identifier: Apache-2.0
#pragma once

// How evaluate marks its covers: keyless, or with the run's key and each
// cover's id by the run's id rule; and the marked cover a collage takes its
// region from.

#include "cli/command.h"
#include "cli/key_option.h"
#include "stego/keyed_mark.h"

#include <optional>
#include <string>
#include <vector>

namespace ombrel::cli {

// One cover's mark: keyless without a key, else keyed with the cover's id.
class CoverMarking {
public:
    CoverMarking(const KeyOption &key, const std::string &coverPath);

    // Null for a keyless mark.
    const Keystream *keystream() const { return keystream_ ? &*keystream_ : nullptr; }
    Image mark(const Surface &cover, const Surface &watermark, int threshold) const;

private:
    std::optional<Keystream> keystream_;
};

// The cover after coverPath in the run's sorted covers, wrapping round, that
// can be read (skipping those that cannot), marked as its own cover would be;
// none when the run has no other cover.
class CollageDonor {
public:
    CollageDonor(const std::vector<std::string> &sortedCovers, const std::string &coverPath, Fit fit,
                 const KeyOption &key);

    std::optional<Image> marked(const Surface &watermark, int threshold) const;

private:
    std::optional<Surface> cover_;
    std::optional<CoverMarking> marking_;
};

} // namespace ombrel::cli
