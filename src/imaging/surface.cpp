// SPDX-License-Identifier: Apache-2.0
#include "imaging/surface.h"

namespace ombrel {

Image::Image(int w, int h, ColourWord fill)
    : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill) {}

Image Image::unset(int w, int h) {
    Image image;
    image.width = w;
    image.height = h;
    image.pixels.resize(static_cast<std::size_t>(w) * h);
    return image;
}

Surface::Surface(int width, int height, ColourWord background)
    : image_(width, height, background), picture_(std::make_shared<const Image>()),
      background_(background) {}

Surface::Surface(Image &&pixels, ColourWord background)
    : image_(std::move(pixels)), picture_(std::make_shared<const Image>()),
      background_(background) {}

void Surface::load(const Image &picture) { load(Image(picture)); }

void Surface::load(Image &&picture) {
    if (picture.empty()) {
        image_ = Image(width(), height(), background_);
        picture_ = std::make_shared<const Image>(std::move(picture));
        showsPicture_ = false;
        return;
    }
    picture_ = std::make_shared<const Image>(std::move(picture));
    image_ = Image();
    showsPicture_ = true;
}

void Surface::detach() {
    image_ = *picture_;
    showsPicture_ = false;
}

Surface surfaceOf(const Image &picture) { return surfaceOf(Image(picture)); }

Surface surfaceOf(Image &&picture) {
    // No background to fill: the picture replaces it at once.
    Surface s(0, 0);
    s.load(std::move(picture));
    return s;
}

} // namespace ombrel
