// SPDX-License-Identifier: Apache-2.0
#pragma once

// A picture checked against the bits of its mark, and the report in words:
// the verdict, the altered area, and the tamper map written as a file.

#include "imaging/sampled_picture.h"
#include "imaging/surface.h"
#include "stego/seal.h"
#include "stego/verify.h"

#include <string>

namespace ombrel::marking {

// The check of image against bits; plain is the image with any keystream
// taken off (the image itself when keyless).
MarkReport checkMark(const MarkBits &bits, const Surface &plain, bool keyed);

// What the check of one picture found, with the NC of the watermark
// extracted from it against the one it should carry.
struct PictureCheck {
    MarkReport report;
    bool keyed = false;
    double nc = 0;
};
// The whole check of one picture, keyed when key is set.
PictureCheck checkPicture(const Surface &image, const Surface &watermark, int threshold, const Keystream *key);

// The tamper map of image (as it came, keystream and all) written to path in
// the format its name asks for.
void saveMap(const Surface &image, const MarkReport &report, const std::string &path);

// "x L..R, y T..B", or "" when nothing was altered.
std::string boxText(const MarkReport &report);
// Every checked block fails under a key. A keyless check keeps its two
// words: without a key an unmarked picture is simply altered everywhere.
bool noMatch(const MarkReport &report, bool keyed);
// "intact", "altered", or the keyed words for no block matching.
std::string verdict(const MarkReport &report, bool keyed);

// The seal's report in the same words: "intact", "altered", or when every
// unit fails the words for a picture not sealed under this key, id and size.
std::string sealVerdict(const SealReport &report);
// "x L..R, y T..B" around the altered units, or "" when none is.
std::string sealBoxText(const SealReport &report);
// The seal's map: the picture at full size, dimmed grey as verify's map has
// it, every altered unit in verify's red; written as its name asks.
Image sealMap(const SampledPicture &picture, const SealReport &report);
void saveSealMap(const SampledPicture &picture, const SealReport &report, const std::string &path);

} // namespace ombrel::marking
