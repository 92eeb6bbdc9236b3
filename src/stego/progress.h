// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <functional>
#include <utility>

namespace ombrel {

// Told the bar's value and maximum after every change; the windows connect it
// to the progress window and start it with their bar's maximum, the
// command-line tool leaves it empty. The pipelines only tick.
using ProgressFn = std::function<void(int value, int max)>;

class Progress {
public:
    explicit Progress(ProgressFn fn = {}) : fn_(std::move(fn)) {}

    void start(int max) {
        value_ = 0;
        max_ = max;
        report();
    }
    void tick(int amount = 1) {
        value_ += amount;
        report();
    }

private:
    void report() const {
        if (fn_)
            fn_(value_, max_);
    }

    ProgressFn fn_;
    int value_ = 0;
    int max_ = 0;
};

} // namespace ombrel
