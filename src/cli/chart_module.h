#pragma once

// What the tool and the chart module agree on. Both are built together from
// one tree; the version in the entry point's name keeps an older module from
// being called with a newer layout.

#include "cli/chart.h"

#include <string>
#include <vector>

namespace ombrel::cli {

struct NcChart {
    std::string path, title;
    std::vector<std::string> categories;
    std::vector<ChartSeries> series;
};

} // namespace ombrel::cli

#define OMBREL_CHART_EXPORT __attribute__((visibility("default")))
#define OMBREL_CHART_ENTRY "ombrel_save_nc_chart_v1"

// Writes the chart to request.path; on failure returns false, with the file's
// error in why when there is one.
extern "C" OMBREL_CHART_EXPORT bool ombrel_save_nc_chart_v1(const ombrel::cli::NcChart &request,
                                                            std::string &why);
