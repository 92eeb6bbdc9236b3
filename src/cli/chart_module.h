// SPDX-License-Identifier: Apache-2.0
#pragma once

// What the tool and the chart module agree on. Both are built together from
// one tree; the version in the entry point's name keeps an older module from
// being called with a newer layout.

#include "cli/chart.h"

#include <string>
#include <vector>

namespace ombrel::cli {

struct NcChart {
    std::string title;
    std::vector<std::string> categories;
    std::vector<ChartSeries> series;
};

} // namespace ombrel::cli

#define OMBREL_CHART_EXPORT __attribute__((visibility("default")))
#define OMBREL_CHART_ENTRY "ombrel_draw_nc_chart_v2"

// Draws the chart as the bytes of a PNG file; false when it could not be
// encoded. The tool writes the file, the one way it writes every file.
extern "C" OMBREL_CHART_EXPORT bool ombrel_draw_nc_chart_v2(const ombrel::cli::NcChart &request,
                                                            std::string &png);
