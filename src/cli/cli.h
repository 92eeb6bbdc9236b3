#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace ombrel::cli {

// Exit codes of the command-line tool; kAltered is verify finding a changed mark.
enum Exit { kDone = 0, kRefused = 1, kUsage = 2, kAltered = 3 };

// Runs one command line (without the program name); messages go to err,
// results to out.
int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

} // namespace ombrel::cli
