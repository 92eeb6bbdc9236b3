// SPDX-License-Identifier: Apache-2.0
// Any bytes as the results.csv an earlier evaluate left, read for --resume:
// refused in one line naming the file, or whole covers kept; never a crash.
#include "cli/parse.h"
#include "resume_run.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    using namespace ombrel;
    const std::string path = "out/results.csv";
    const std::string text(reinterpret_cast<const char *>(data), size);
    const std::size_t rowsPerCover = fuzz::kThresholds.size() * (cli::attacks().size() + 1);
    try {
        const auto kept = cli::earlierRows(path, text, fuzz::kCovers, fuzz::kThresholds, fuzz::kWithCollage);
        if (kept.size() != fuzz::kCovers.size())
            __builtin_trap();
        for (std::size_t c = 0; c < kept.size(); ++c) {
            if (!kept[c].empty() && kept[c].size() != rowsPerCover)
                __builtin_trap(); // a cover is kept whole or done again
            for (const cli::EvaluationRow &row : kept[c])
                if (row.cover != c)
                    __builtin_trap();
        }
    } catch (const cli::Refusal &r) {
        const std::string said = r.what();
        // One line, naming the file, short enough to read.
        if (said.rfind(path + ": ", 0) != 0 || said.size() > 300)
            __builtin_trap();
        for (const char c : said)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                __builtin_trap();
    }
    return 0;
}
