// SPDX-License-Identifier: Apache-2.0
#pragma once

// One command line through the tool, as the tests see it; needs ombrel_cli.

#include "cli/cli.h"
#include "support/process.h"

#include <sstream>
#include <string>
#include <vector>

namespace ombrel::test {

inline RunResult runCli(const std::vector<std::string> &args) {
    std::ostringstream out, err;
    const int code = cli::run(args, out, err);
    return {code, out.str(), err.str()};
}

// What a command printed, line by line, without the newlines.
inline std::vector<std::string> lines(const std::string &text) {
    std::vector<std::string> all;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        all.push_back(line);
    return all;
}

} // namespace ombrel::test
