// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ombrel::cli {

// One value per category; low and high, when given, draw a range about it.
struct ChartSeries {
    std::string name;
    std::vector<double> values;
    std::vector<double> low, high;
};

// Why no chart was drawn: a code to branch on, and what the code's words name
// (the folder searched, the loader's message, the module, the write error).
struct ChartError {
    enum class Code { ModuleNotFound, ModuleUnloadable, EntryMissing, WriteFailed };
    Code code;
    std::string detail;
};

// The words for a chart error, as they follow "PATH: ".
std::string chartErrorText(const ChartError &error);

// Draws NC per category with Qt Charts, offscreen, and writes a PNG through a
// temporary and a rename; an error if it could not. The drawing lives in a
// module of its own, loaded only here, so the other commands start without
// Qt's widgets.
std::optional<ChartError> saveNcChart(const std::string &path, const std::string &title,
                                      const std::vector<std::string> &categories,
                                      const std::vector<ChartSeries> &series);

// Why no chart could be drawn (the module missing or broken), if anything:
// for a command to ask before it starts work that ends in a chart.
std::optional<ChartError> chartProblem();

} // namespace ombrel::cli
