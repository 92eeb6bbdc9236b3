#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace ombrel::cli {

// Exit codes of the command-line tool; kAltered is verify finding a changed
// mark. A run over many files stopped by Ctrl-C, SIGHUP or SIGTERM exits as
// shells report a process that signal ended: 128 + its number.
enum Exit {
    kDone = 0,
    kRefused = 1,
    kUsage = 2,
    kAltered = 3,
    kHungUp = 129,
    kInterrupted = 130,
    kTerminated = 143,
};

// Runs one command line (without the program name); messages go to err,
// results to out.
int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

} // namespace ombrel::cli
