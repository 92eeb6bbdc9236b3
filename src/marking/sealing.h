// SPDX-License-Identifier: Apache-2.0
#pragma once

// A cover marked and written as `ombrel embed COVER WATERMARK -o OUT` marks
// and writes it, keyed or not, from any front end.

#include "marking/keying.h"
#include "marking/pictures.h"

#include <string>

namespace ombrel::marking {

struct SealRequest {
    std::string cover;
    std::string watermark;
    std::string output; // its name picks the format; a lossy one is refused
    int threshold = 0;
    Fit fit = Fit::NotOffered; // On fits a cover and a watermark of any size
    Keying key; // keyless without a secret; the id rule names the output
};

// The output's name checked before anything is read, then the marked cover
// written through a temporary and a rename, forced to disk: a refusal leaves
// what stood at the output as it was.
void seal(const SealRequest &request);

// The marked copy of cover: keyed when key is set.
Image markCover(const Surface &cover, const Surface &watermark, int threshold, const Keystream *key);

} // namespace ombrel::marking
