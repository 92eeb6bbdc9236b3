// SPDX-License-Identifier: Apache-2.0
#include "cli/cover_marking.h"

#include "marking/sealing.h"

#include <algorithm>

namespace ombrel::cli {

CoverMarking::CoverMarking(const KeyOption &key, const std::string &coverPath)
    : keystream_(key.keystreamFor(coverPath)) {}

Image CoverMarking::mark(const Surface &cover, const Surface &watermark, int threshold) const {
    return marking::markCover(cover, watermark, threshold, keystream());
}

CollageDonor::CollageDonor(const std::vector<std::string> &sortedCovers, const std::string &coverPath,
                           Fit fit, const KeyOption &key) {
    const auto at = std::lower_bound(sortedCovers.begin(), sortedCovers.end(), coverPath);
    const auto here = static_cast<std::size_t>(at - sortedCovers.begin());
    const std::size_t n = sortedCovers.size();
    for (std::size_t step = 1; step < n; ++step) {
        const std::string &next = sortedCovers[(here + step) % n];
        try {
            cover_.emplace(coverSurface(next, fit));
        } catch (const Refusal &) {
            continue; // evaluate reports it where it is a cover itself
        }
        marking_.emplace(key, next);
        return;
    }
}

std::optional<Image> CollageDonor::marked(const Surface &watermark, int threshold) const {
    if (!cover_)
        return std::nullopt;
    return marking_->mark(*cover_, watermark, threshold);
}

} // namespace ombrel::cli
