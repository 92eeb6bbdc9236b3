// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/surface.h"

namespace ombrel::test {

// A slow, literal rendering of the embedding and the extraction: pixel by
// pixel through point/pset, single-precision matrices, and every bit moved
// through dec2bin/bin2dec digit strings. The fast core must match it exactly.
struct ReferenceEmbed {
    Image watermarked;
    Image firstPicture;
    Image secondPicture;
};

ReferenceEmbed referenceEmbed(const Image &cover, const Image &watermark, int threshold);
Image referenceExtract(const Image &image);

} // namespace ombrel::test
