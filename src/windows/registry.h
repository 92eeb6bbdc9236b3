// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QPointer>

#include <map>
#include <type_traits>
#include <typeindex>

namespace ombrel::windows {

class Session;
class Window;

// Every window is one application-wide instance addressed by its type:
// loaded (created, Form_Load run) at first reference, unloaded with its
// controls destroyed. What a run keeps lives in the Session, not here: a
// screen that needs it takes a Session & in its constructor and is made
// with the one the registry was handed.
class Registry {
public:
    static Registry &instance();

    // The run's state for the screens made from now on. The caller owns it
    // and keeps it until reset().
    void useSession(Session &session) { session_ = &session; }

    template <class W>
    W &get() {
        const auto key = std::type_index(typeid(W));
        if (auto it = windows_.find(key); it != windows_.end() && it->second)
            return static_cast<W &>(*it->second);
        W *w = make<W>();
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

    // A fresh run: every window unloaded and the session let go, so no
    // screen is made with a state that may be gone.
    void reset();

private:
    using Map = std::map<std::type_index, QPointer<Window>>;
    void destroy(Map::iterator it);

    template <class W>
    W *make() {
        if constexpr (std::is_constructible_v<W, Session &>)
            return new W(session());
        else
            return new W;
    }
    // Throws std::logic_error when none was handed.
    Session &session() const;

    Map windows_;
    Session *session_ = nullptr;
};

} // namespace ombrel::windows
