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
// temporary and a rename. Returns why it could not, after "PATH: ", or an
// empty text once the file is written. The drawing lives in a module of its
// own, loaded only here, so the other commands start without Qt's widgets.
std::string saveNcChart(const std::string &path, const std::string &title,
                        const std::vector<std::string> &categories,
                        const std::vector<ChartSeries> &series);

// Why no chart could be drawn (the module missing or broken), or an empty
// text: for a command to ask before it starts work that ends in a chart.
std::string chartProblem();

} // namespace ombrel::cli
