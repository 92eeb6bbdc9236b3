// SPDX-License-Identifier: Apache-2.0
// Throughput of `ombrel evaluate` by number of jobs: covers per second over a
// folder of generated covers, one threshold, every attack.
//   build/bench/ombrel_bench_evaluate --benchmark_repetitions=3

#include "cli/cli.h"
#include "imaging/picture_in.h"
#include "imaging/picture_out.h"
#include "imaging/sample_images.h"

#include <cstdlib>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <cstdlib>
#include <sstream>
#include <cstdlib>
#include <string>

namespace ombrel {
namespace {

constexpr int kCovers = 8;

// The sample cover with its channels rotated, so each cover differs.
const std::filesystem::path &coverFolder() {
    static const std::filesystem::path dir = [] {
        const auto d = std::filesystem::temp_directory_path() / "ombrel-bench-evaluate";
        std::filesystem::create_directories(d / "covers");
        Image cover = sampleCover();
        for (int i = 0; i < kCovers; ++i) {
            for (ColourWord &p : cover.pixels) {
                const Channels c = split(p);
                p = rgb(c.blue, c.red, c.green);
            }
            if (!saveBitmap(cover, (d / "covers" / ("cover" + std::to_string(i) + ".bmp")).string()))
                std::abort();
        }
        if (!saveBitmap(sampleWatermark(), (d / "watermark.bmp").string(), PictureKind::Grey8))
            std::abort();
        return d;
    }();
    return dir;
}

void Evaluate(benchmark::State &state) {
    keepLibraryNoiseOffStderr(); // as the tool's main does, so its cost is counted
    const auto &dir = coverFolder();
    const std::string jobs = std::to_string(state.range(0));
    for (auto _ : state) {
        std::ostringstream out, err;
        const int code = cli::run({"evaluate", (dir / "covers").string(), "--watermark",
                                   (dir / "watermark.bmp").string(), "-o",
                                   (dir / ("out-" + jobs)).string(), "-j", jobs, "--overwrite"},
                                  out, err);
        if (code != 0)
            state.SkipWithError(err.str().c_str());
    }
    state.SetItemsProcessed(state.iterations() * kCovers);
}
BENCHMARK(Evaluate)->ArgName("jobs")->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kSecond)
    ->Iterations(1);

} // namespace
} // namespace ombrel
