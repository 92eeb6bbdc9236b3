#pragma once

// One command line through the tool, as the tests see it; needs ombrel_cli.

#include "cli/cli.h"

#include <sstream>
#include <string>
#include <vector>

namespace ombrel::test {

struct CliResult {
    int code;
    std::string out, err;
};

inline CliResult runCli(const std::vector<std::string> &args) {
    std::ostringstream out, err;
    const int code = cli::run(args, out, err);
    return {code, out.str(), err.str()};
}

} // namespace ombrel::test
