#pragma once

#include "imaging/surface.h"

#include <QPointer>

#include <map>
#include <memory>
#include <optional>
#include <typeindex>

namespace ombrel::windows {

class Window;

// The four pixel buffers the screens hand images through. They live from
// their first use to the end of the run and are never shown.
class PixelBuffers {
public:
    Surface &piccover();    // frmcover.piccover: the cover, later the watermarked image
    Surface &picwater();    // frmwater.picwater: the watermark
    Surface &picwavelet();  // frmwav.picwavelet: the coefficient pictures
    Surface &decwater();    // frmdecwater.picwater: the extracted watermark

private:
    std::optional<Surface> cover_, water_, wavelet_, decwater_;
};

// Every window is one application-wide instance addressed by its type:
// loaded (created, Form_Load run) at first reference, unloaded with its
// controls destroyed, while the values its own code keeps live on.
class Registry {
public:
    static Registry &instance();

    template <class W>
    W &get() {
        const auto key = std::type_index(typeid(W));
        if (auto it = windows_.find(key); it != windows_.end() && it->second)
            return static_cast<W &>(*it->second);
        W *w = new W;
        windows_[key] = w;
        w->formLoad();
        return *w;
    }

    template <class W>
    bool loaded() const {
        const auto it = windows_.find(std::type_index(typeid(W)));
        return it != windows_.end() && it->second;
    }

    template <class W>
    void unload() {
        const auto it = windows_.find(std::type_index(typeid(W)));
        if (it != windows_.end())
            destroy(it);
    }

    // Unload, load afresh.
    template <class W>
    W &reload() {
        unload<W>();
        return get<W>();
    }

    // Reload, and unload again when the load handler failed; the failure has
    // been reported to the user by then.
    template <class W>
    W *reloadIfLoaded() {
        W &w = reload<W>();
        if (w.loadSucceeded())
            return &w;
        unload<W>();
        return nullptr;
    }

    void unload(Window *w);

    // Window-level values of W that survive its unloading.
    template <class State>
    State &state() {
        auto &slot = states_[std::type_index(typeid(State))];
        if (!slot)
            slot = std::make_shared<State>();
        return *std::static_pointer_cast<State>(slot);
    }

    PixelBuffers &buffers() { return buffers_; }

    // A fresh run: every window unloaded, every kept value and buffer gone.
    void reset();

private:
    using Map = std::map<std::type_index, QPointer<Window>>;
    void destroy(Map::iterator it);

    Map windows_;
    std::map<std::type_index, std::shared_ptr<void>> states_;
    PixelBuffers buffers_;
};

} // namespace ombrel::windows
