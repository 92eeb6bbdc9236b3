// SPDX-License-Identifier: Apache-2.0
#pragma once

// A progress line for work on many images, drawn in place on a terminal:
// "[#######                       ] 2/8  1.24 images/s  0:05 left".

#include <chrono>
#include <cstddef>
#include <iosfwd>
#include <string_view>

namespace ombrel::cli {

// Whether stderr is a terminal: only there a line redrawn in place reads well;
// in a log or a pipe the bar stays away.
bool stderrIsTerminal();

// Counts from the moment it is made. Draws nothing unless drawn is set. Not
// thread-safe: a caller with workers calls it under the lock that guards done.
class ProgressBar {
public:
    ProgressBar(std::ostream &out, std::size_t total, bool drawn = stderrIsTerminal());

    // Redraws the line for done of total, with the rate so far and the time left.
    void show(std::size_t done);
    // Writes line (and a newline) where the bar stood; the next show() draws
    // the bar again beneath it.
    void say(std::string_view line);
    // Removes the bar, before the results are written.
    void clear();

private:
    std::ostream &out_;
    std::size_t total_;
    bool drawn_;
    std::chrono::steady_clock::time_point started_;
};

} // namespace ombrel::cli
