#pragma once

#include <string>
#include <vector>

namespace ombrel::cli {

// One value per category; low and high, when given, draw a range about it.
struct ChartSeries {
    std::string name;
    std::vector<double> values;
    std::vector<double> low, high;
};

// Draws NC per category with Qt Charts, offscreen, and writes a PNG through a
// temporary and a rename. Returns false when the file could not be written.
bool saveNcChart(const std::string &path, const std::string &title,
                 const std::vector<std::string> &categories,
                 const std::vector<ChartSeries> &series);

} // namespace ombrel::cli
