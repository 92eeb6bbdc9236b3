#pragma once

#include "imaging/colour.h"

#include <memory>
#include <vector>

namespace ombrel {

// A plain picture: colour words row by row from the top-left pixel.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<ColourWord> pixels;

    Image() = default;
    Image(int w, int h, ColourWord fill = 0);

    bool empty() const { return width <= 0 || height <= 0; }
    ColourWord at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    ColourWord &at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    const ColourWord *row(int y) const { return pixels.data() + static_cast<std::size_t>(y) * width; }
    ColourWord *row(int y) { return pixels.data() + static_cast<std::size_t>(y) * width; }

    friend bool operator==(const Image &, const Image &) = default;
};

// A pixel buffer with the semantics every screen relies on: reads outside give
// -1, writes outside are dropped, a load resizes it, and the loaded picture is
// kept apart from the current image that pixel writes change.
class Surface {
public:
    Surface(int width, int height, ColourWord background = kControlFace);
    // A surface whose current image is these pixels, with no loaded picture:
    // for work that reads and writes pixels but never shows a preview.
    explicit Surface(Image &&pixels, ColourWord background = kControlFace);

    int width() const { return current().width; }
    int height() const { return current().height; }

    ColourWord point(int x, int y) const {
        return contains(x, y) ? current().at(x, y) : kOutside;
    }
    void pset(int x, int y, ColourWord c) {
        if (contains(x, y))
            image().at(x, y) = c;
    }
    bool contains(int x, int y) const {
        return x >= 0 && y >= 0 && x < width() && y < height();
    }

    // An empty picture keeps the size and shows the background.
    void load(const Image &picture);
    void load(Image &&picture);

    const Image &picture() const { return *picture_; }
    const Image &image() const { return current(); }
    // Direct access for whole-row work; same pixels as point/pset. The first
    // write access gives the current image pixels of its own.
    Image &image() {
        if (showsPicture_)
            detach();
        return image_;
    }

private:
    // Until the first write the current image is the loaded picture itself.
    const Image &current() const { return showsPicture_ ? *picture_ : image_; }
    void detach();

    Image image_;
    // Never changed once loaded, so copies of a surface share it.
    std::shared_ptr<const Image> picture_;
    bool showsPicture_ = false;
    ColourWord background_;
};

// A surface holding a loaded picture, at the picture's size.
Surface surfaceOf(const Image &picture);
Surface surfaceOf(Image &&picture);

} // namespace ombrel
