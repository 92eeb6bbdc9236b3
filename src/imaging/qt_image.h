#pragma once

#include "imaging/surface.h"

class QImage;

namespace ombrel {

// Colour words to and from a Qt image, for the desktop program's display;
// they live with the bitmap codecs, the one place the core meets Qt.
Image fromQImage(const QImage &decoded);
QImage toQImage(const Image &image);

} // namespace ombrel
