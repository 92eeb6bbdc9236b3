// SPDX-License-Identifier: Apache-2.0
#pragma once

// What the commands that work through many files share: the signals that ask
// a run to stop, the jobs option, and a runner that spreads the files over
// threads with a progress bar.

#include "cli/parse.h"

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace ombrel::cli {

// While one lives, Ctrl-C, SIGTERM and SIGHUP ask the run to stop after the
// files under way instead of ending the process; a time limit, `timeout` or
// a closed terminal then still gets the finished work written. The previous
// handlers come back when it goes.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;
};

// Whether a signal (or requestStop) asked the run to stop.
bool stopAsked();
// Stops the run as a signal would, for a failure that ends it (a full disk).
void requestStop();
// 128 + the signal's number, as shells report a process the signal ended:
// kInterrupted, kHungUp or kTerminated; kRefused after requestStop.
int stopStatus();
// "interrupted", "hung up" or "terminated", for the line that says so.
std::string_view stopWord();

// A whole number from 1, or a usage error naming what.
int wholeNumber(const std::string &s, const std::string &what);
// -j N, by default every core.
int jobsOption(const Parsed &p);

// How a run over many files goes: on how many threads, and whether its
// progress goes to a log (--progress) when stderr is no terminal.
struct BatchOptions {
    int jobs = 1;
    bool logProgress = false;
};
BatchOptions batchOptions(const Parsed &p);

// The folder a form over many files writes into, as the option (spelled as
// the usage message names it) gave it: a usage error when it bears a
// picture's name and is no folder yet, as cp refuses several files to one
// name. A trailing / says a folder is meant.
void checkOutputFolder(const std::string &folder, std::string_view option);

// What a file's work reports through, under the runner's lock.
class BatchItem {
public:
    // One unit of the file's work done, for the bar.
    virtual void tick() = 0;
    // A line on out (the bar makes way for it).
    virtual void say(const std::string &line) = 0;

protected:
    ~BatchItem() = default;
};

struct BatchTotals {
    std::size_t done = 0, failed = 0;
};

// Runs work(i, item) for every file on run.jobs threads, in order of i. A
// file whose work throws is reported in one line on err (a Refusal as it
// stands, anything else after the file's name) and the others go on. Once a
// stop is asked no new file is begun, and those under way finish. On a
// terminal a bar over files * unitsEach units goes to err; in a log, with
// run.logProgress, a line of it now and then.
BatchTotals runBatch(const std::vector<std::string> &files, const BatchOptions &run, std::size_t unitsEach,
                     std::ostream &out,
                     std::ostream &err, std::string_view failurePrefix,
                     const std::function<void(std::size_t, BatchItem &)> &work);

// How a batch ends: after a stop signal its status, with a line on err
// saying how far the run came ("interrupted: 12 of 40 covers marked");
// kRefused when a file failed; kDone otherwise.
int batchStatus(const BatchTotals &totals, std::size_t count, std::string_view what,
                std::ostream &err);

} // namespace ombrel::cli
