// SPDX-License-Identifier: Apache-2.0
// Any command line through the tool's option parser and command table: a
// line it cannot take is a usage error, never a crash. The bytes are split
// into arguments at NUL and newline; the commands themselves are not run.
#include "cli/batch.h"
#include "cli/cli.h"
#include "cli/command.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\0' || c == '\n')
            args.emplace_back();
        else
            args.back() += c;
    }
    using namespace ombrel::cli;
    try {
        const Parsed parsed = parseCommandLine(args);
        for (const auto &[name, values] : parsed.options)
            if (values.empty())
                __builtin_trap(); // an option is there only with its values
        // The values every command reads the same way.
        jobsOption(parsed);
        try {
            thresholdOption(parsed);
        } catch (const Refusal &) {
        }
    } catch (const UsageError &) {
    }
    return 0;
}
