// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/colour.h"

#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace ombrel {

// Leaves a word unset where a vector would zero it: a picture about to be
// decoded over is then written once, not twice. Every other use fills.
template <typename T>
struct UnsetAllocator : std::allocator<T> {
    UnsetAllocator() = default;
    template <typename U>
    UnsetAllocator(const UnsetAllocator<U> &) {}
    template <typename U>
    struct rebind {
        using other = UnsetAllocator<U>;
    };
    template <typename U, typename... Args>
    void construct(U *p, Args &&...args) {
        if constexpr (sizeof...(Args) == 0)
            ::new (static_cast<void *>(p)) U;
        else
            ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
    }
};

// A plain picture: colour words row by row from the top-left pixel.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<ColourWord, UnsetAllocator<ColourWord>> pixels;

    Image() = default;
    Image(int w, int h, ColourWord fill = 0);
    // A picture whose every pixel the caller writes before reading it.
    static Image unset(int w, int h);

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
