// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "cli/parse.h"

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

// The line as run reads it before the command's own work: args[0] names a
// command, its options are parsed and its output names checked. A usage
// error for an unknown command or a line that command cannot take.
Parsed parseCommandLine(const std::vector<std::string> &args);

} // namespace ombrel::cli
