#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace ombrel::cli {

// Exit codes of the command-line tool; kAltered is verify finding a changed
// mark, kInterrupted an evaluate stopped by Ctrl-C (128 + SIGINT, as shells
// report a process that signal ended).
enum Exit { kDone = 0, kRefused = 1, kUsage = 2, kAltered = 3, kInterrupted = 130 };

// Runs one command line (without the program name); messages go to err,
// results to out.
int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

} // namespace ombrel::cli
