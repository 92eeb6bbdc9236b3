// SPDX-License-Identifier: Apache-2.0
#include "cli/chart.h"
#include "cli/chart_module.h"

#include "imaging/file_replacement.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

// Programs that link the drawing themselves (the tests, the benchmarks) call
// it directly; in the tool this reference stays empty and the module is loaded.
#pragma weak ombrel_draw_nc_chart_v2

namespace ombrel::cli {

namespace {

namespace fs = std::filesystem;
using Entry = decltype(&ombrel_draw_nc_chart_v2);

struct Drawing {
    Entry entry = nullptr;
    std::optional<ChartError> error;
};

// Looks beside the tool (the build tree) and then where the install puts the
// module relative to the tool, so any install prefix works. Loaded once and
// never unloaded: Qt keeps state in its libraries until the process ends.
Drawing loadModule() {
    std::error_code ec;
    const fs::path tool = fs::read_symlink("/proc/self/exe", ec);
    const fs::path beside = tool.parent_path();
    const fs::path installed = (beside / OMBREL_CHART_MODULE_DIR).lexically_normal();
    for (const fs::path &dir : {beside, installed}) {
        const fs::path module = dir / OMBREL_CHART_MODULE_NAME;
        if (ec || !fs::exists(module, ec))
            continue;
        void *handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return {nullptr, ChartError{ChartError::Code::ModuleUnloadable, dlerror()}};
        if (const auto entry = reinterpret_cast<Entry>(dlsym(handle, OMBREL_CHART_ENTRY)))
            return {entry, std::nullopt};
        return {nullptr, ChartError{ChartError::Code::EntryMissing, module.string()}};
    }
    return {nullptr, ChartError{ChartError::Code::ModuleNotFound, installed.string()}};
}

// The drawing linked into this program, or else the module's.
const Drawing &drawing() {
    static const Drawing linked{&ombrel_draw_nc_chart_v2, std::nullopt};
    if (linked.entry)
        return linked;
    static const Drawing loaded = loadModule();
    return loaded;
}

} // namespace

std::string chartErrorText(const ChartError &error) {
    switch (error.code) {
    case ChartError::Code::ModuleNotFound:
        return "cannot draw the chart: the chart module " OMBREL_CHART_MODULE_NAME
               " was not found beside the tool or in " +
               error.detail;
    case ChartError::Code::ModuleUnloadable:
        return "cannot draw the chart: " + error.detail;
    case ChartError::Code::EntryMissing:
        return "cannot draw the chart: " + error.detail + " has no " OMBREL_CHART_ENTRY;
    case ChartError::Code::WriteFailed:
        return error.detail.empty() ? "cannot write the chart" : "cannot write the chart: " + error.detail;
    }
    return "cannot draw the chart";
}

std::optional<ChartError> chartProblem() { return drawing().error; }

std::optional<ChartError> saveNcChart(const std::string &path, const std::string &title,
                                      const std::vector<std::string> &categories,
                                      const std::vector<ChartSeries> &series) {
    const Drawing &draw = drawing();
    if (!draw.entry)
        return draw.error;
    const NcChart request{title, categories, series};
    std::string png;
    if (!draw.entry(request, png))
        return ChartError{ChartError::Code::WriteFailed, ""};
    if (const auto saved = replaceFile(path, png, Durability::Renamed); !saved)
        return ChartError{ChartError::Code::WriteFailed, saved.error().detail};
    return std::nullopt;
}

} // namespace ombrel::cli
