#include "cli/chart.h"
#include "cli/chart_module.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

// Programs that link the drawing themselves (the tests, the benchmarks) call
// it directly; in the tool this reference stays empty and the module is loaded.
#pragma weak ombrel_save_nc_chart_v1

namespace ombrel::cli {

namespace {

namespace fs = std::filesystem;
using Entry = decltype(&ombrel_save_nc_chart_v1);

// Looks beside the tool (the build tree) and then where the install puts the
// module relative to the tool, so any install prefix works. Loaded once and
// never unloaded: Qt keeps state in its libraries until the process ends.
Entry loadModule(std::string &why) {
    static Entry entry = nullptr;
    static std::string failure;
    static bool tried = false;
    if (tried) {
        why = failure;
        return entry;
    }
    tried = true;
    std::error_code ec;
    const fs::path tool = fs::read_symlink("/proc/self/exe", ec);
    const fs::path beside = tool.parent_path();
    const fs::path installed = (beside / OMBREL_CHART_MODULE_DIR).lexically_normal();
    for (const fs::path &dir : {beside, installed}) {
        const fs::path module = dir / OMBREL_CHART_MODULE_NAME;
        if (ec || !fs::exists(module, ec))
            continue;
        void *handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            failure = std::string("cannot draw the chart: ") + dlerror();
        } else if (!(entry = reinterpret_cast<Entry>(dlsym(handle, OMBREL_CHART_ENTRY)))) {
            failure = "cannot draw the chart: " + module.string() + " has no " + OMBREL_CHART_ENTRY;
        }
        why = failure;
        return entry;
    }
    failure = "cannot draw the chart: the chart module " OMBREL_CHART_MODULE_NAME
              " was not found beside the tool or in " +
              installed.string();
    why = failure;
    return nullptr;
}

// The drawing linked into this program, or else the module's.
Entry drawing(std::string &why) {
    const Entry linked = &ombrel_save_nc_chart_v1;
    return linked ? linked : loadModule(why);
}

} // namespace

std::string chartProblem() {
    std::string why;
    drawing(why);
    return why;
}

std::string saveNcChart(const std::string &path, const std::string &title,
                        const std::vector<std::string> &categories,
                        const std::vector<ChartSeries> &series) {
    std::string why;
    const Entry draw = drawing(why);
    if (!draw)
        return why;
    const NcChart request{path, title, categories, series};
    return draw(request, why) ? std::string() : why;
}

} // namespace ombrel::cli
