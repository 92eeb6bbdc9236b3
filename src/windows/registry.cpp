#include "windows/registry.h"

#include "platform/save_folder.h"
#include "stego/embedding.h"
#include "stego/extraction.h"
#include "windows/window.h"

namespace ombrel::windows {

Surface &PixelBuffers::piccover() {
    if (!cover_)
        cover_.emplace(1024, 768);
    return *cover_;
}

Surface &PixelBuffers::picwater() {
    if (!water_)
        water_.emplace(333, 377);
    return *water_;
}

Surface &PixelBuffers::picwavelet() {
    if (!wavelet_)
        wavelet_.emplace(makeWaveletSurface());
    return *wavelet_;
}

Surface &PixelBuffers::decwater() {
    if (!decwater_)
        decwater_.emplace(makeExtractedSurface());
    return *decwater_;
}

Registry &Registry::instance() {
    static Registry registry;
    return registry;
}

void Registry::unload(Window *w) {
    for (auto it = windows_.begin(); it != windows_.end(); ++it)
        if (it->second == w) {
            destroy(it);
            return;
        }
}

void Registry::destroy(Map::iterator it) {
    Window *w = it->second;
    windows_.erase(it);
    if (w) {
        w->hide();
        // Later, so a window may unload itself from its own button's handler.
        w->deleteLater();
    }
}

void Registry::reset() {
    while (!windows_.empty())
        destroy(windows_.begin());
    states_.clear();
    buffers_ = PixelBuffers();
    platform::forgetSaveFolder();
}

} // namespace ombrel::windows
