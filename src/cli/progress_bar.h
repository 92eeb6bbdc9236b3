// SPDX-License-Identifier: Apache-2.0
#pragma once

// A progress line for work on many images, drawn in place on a terminal:
// "[#######                       ] 2/8  1.24 images/s  0:05 left", or in a
// log, a line of the same now and then: "progress: 2/8  1.24 images/s  0:05 left".

#include <chrono>
#include <cstddef>
#include <iosfwd>
#include <string_view>

namespace ombrel::cli {

// Whether stderr is a terminal: only there a line redrawn in place reads well;
// in a log or a pipe the bar stays away.
bool stderrIsTerminal();

// How progress shows: a bar redrawn in place (on a terminal), a line now and
// then (in a log: a cluster's job file), or not at all.
enum class ProgressStyle { Bar, Log, None };
// The bar on a terminal; elsewhere log lines when they were asked for, and
// otherwise nothing, so a script's stderr stays as quiet as it was.
ProgressStyle progressStyle(bool logAsked, bool terminal = stderrIsTerminal());

// Counts from the moment it is made. Not thread-safe: a caller with workers
// calls it under the lock that guards done.
class ProgressBar {
public:
    ProgressBar(std::ostream &out, std::size_t total, ProgressStyle style = progressStyle(false));
    // A log line is written at every tenth of the total, or once logEvery
    // has passed since the last, whichever comes first.
    ProgressBar(std::ostream &out, std::size_t total, ProgressStyle style,
                std::chrono::steady_clock::duration logEvery);

    // Redraws the line for done of total, with the rate so far and the time
    // left; in a log, writes it as a line of its own when one is due.
    void show(std::size_t done);
    // The same for a log alone, as each unit is done: a tenth is never
    // missed between two looks of a caller that shows on a timer.
    void done(std::size_t done);
    // Writes line (and a newline) where the bar stood; the next show() draws
    // the bar again beneath it.
    void say(std::string_view line);
    // Removes the bar, before the results are written.
    void clear();

private:
    std::ostream &out_;
    std::size_t total_;
    ProgressStyle style_;
    std::chrono::steady_clock::duration logEvery_;
    std::chrono::steady_clock::time_point started_, logged_;
    std::size_t loggedTenths_ = 0, loggedDone_ = 0;
};

} // namespace ombrel::cli
