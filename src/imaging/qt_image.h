// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/surface.h"

class QImage;

namespace ombrel {

// Colour words to and from Qt's images: for the picture files, the attacks
// and the desktop program's display, the places the core meets Qt.
Image fromQImage(const QImage &decoded);
QImage toQImage(const Image &image);

// 8 bits through a grey colour table, from the red of each word.
QImage toGreyQImage(const Image &image);

// The picture as Qt's 32-bit layout without a copy: red and blue change
// places in the caller's own pixels, which it has given up.
QImage inPlaceQImage(Image &image);

// Every pixel's red and blue exchanged where they lie, and the top byte set
// to top: 0 for colour words, 0xff for Qt's opaque pixels.
void swapRedBlue(Image &image, std::uint32_t top);

} // namespace ombrel
