// SPDX-License-Identifier: Apache-2.0
#pragma once

// One command line through the tool, as the tests see it; needs ombrel_cli.

#include "cli/cli.h"
#include "support/process.h"

#include <gtest/gtest.h>

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

// verify --quiet over rows of arguments (before --watermark): the status, the
// verdict lines, and nothing on stderr.
struct QuietVerdict {
    const char *name;
    std::vector<std::string> args;
    int code;
    std::string out;
};
inline void expectQuietVerdicts(const std::vector<QuietVerdict> &rows, const std::string &watermark) {
    for (const QuietVerdict &row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> args = {"verify"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        args.insert(args.end(), {"--watermark", watermark, "--quiet"});
        const RunResult r = runCli(args);
        EXPECT_EQ(r.code, row.code);
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.err, "");
    }
}

} // namespace ombrel::test
