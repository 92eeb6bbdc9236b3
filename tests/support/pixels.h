// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "api/ombrel.h"
#include "imaging/surface.h"

namespace ombrel::test {

// Colour words as the public API's bytes (red, green, blue; or red alone for
// a grey picture), written without the API's own conversion.
inline Pixels bytesOf(const Image &image, int channels) {
    Pixels p(image.width, image.height, channels);
    for (std::size_t i = 0; i < image.pixels.size(); ++i)
        for (int c = 0; c < channels; ++c)
            p.data[i * channels + c] = static_cast<std::uint8_t>(image.pixels[i] >> (8 * c));
    return p;
}

} // namespace ombrel::test
