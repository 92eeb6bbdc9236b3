// SPDX-License-Identifier: Apache-2.0
#pragma once

// The run the --resume target reads earlier tables for, and the table that
// run writes whole, which seeds the target.

#include "cli/attacks.h"
#include "cli/evaluation_report.h"

#include <string>
#include <vector>

namespace ombrel::fuzz {

// Three covers, one whose name the CSV must quote; two thresholds; the
// collage, as a run of more than one cover has it.
inline const std::vector<std::string> kCovers = {"covers/a.bmp", "covers/b, \"two\".png", "covers/c.tif"};
inline const std::vector<int> kThresholds = {0, 7};
inline constexpr bool kWithCollage = true;

// Every row of the run, in the order it writes them.
inline std::string wholeTable() {
    std::string table = cli::csvHeader();
    for (std::size_t c = 0; c < kCovers.size(); ++c)
        for (int t : kThresholds) {
            std::vector<cli::Attack> list = cli::attacks();
            list.push_back({cli::kCollage, nullptr, 0, true});
            double x = 0.9 - 0.01 * static_cast<double>(c);
            for (const cli::Attack &a : list) {
                cli::AttackScore score{a.name, 30 + x, x, x, {}, {}, false};
                if (a.tamper) {
                    score.tamperPrecision = x;
                    score.tamperRecall = 1 - x;
                }
                table += cli::csvRow({c, t, 45.5, 0.99, score}, kCovers[c]);
                x -= 0.02;
            }
        }
    return table;
}

} // namespace ombrel::fuzz
