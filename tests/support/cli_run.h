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

} // namespace ombrel::test
