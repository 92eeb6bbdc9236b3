// SPDX-License-Identifier: Apache-2.0
#include "windows/registry.h"

#include "windows/window.h"

#include <stdexcept>

namespace ombrel::windows {

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

Session &Registry::session() const {
    if (!session_)
        throw std::logic_error("a screen that keeps the run's state was asked for before a session was handed");
    return *session_;
}

void Registry::reset() {
    while (!windows_.empty())
        destroy(windows_.begin());
    session_ = nullptr;
}

} // namespace ombrel::windows
