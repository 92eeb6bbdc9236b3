#include "imaging/surface.h"

namespace ombrel {

Image::Image(int w, int h, ColourWord fill)
    : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill) {}

Surface::Surface(int width, int height, ColourWord background)
    : image_(width, height, background), picture_(std::make_shared<const Image>()),
      background_(background) {}

void Surface::load(const Image &picture) {
    picture_ = std::make_shared<const Image>(picture);
    if (picture.empty())
        image_ = Image(image_.width, image_.height, background_);
    else
        image_ = picture;
}

Surface surfaceOf(const Image &picture) {
    Surface s(picture.width, picture.height);
    s.load(picture);
    return s;
}

} // namespace ombrel
