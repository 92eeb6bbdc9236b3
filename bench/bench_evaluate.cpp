// SPDX-License-Identifier: Apache-2.0
// Throughput of `ombrel evaluate` by number of jobs: covers per second over a
// folder of generated covers, one threshold, every attack. Then the tool as a
// process, keyless and keyed, against an earlier build of it run in turn in
// the same rounds, so both see the same load: processor time (user + system)
// per cover and threshold, at -j 1.
//   OMBREL_REFERENCE_TOOL=/path/to/older/ombrel build/bench/ombrel_bench_evaluate
// Without OMBREL_REFERENCE_TOOL the tool built beside it is timed alone.

#include "child_process.h"

#include "cli/cli.h"
#include "imaging/picture_in.h"
#include "imaging/picture_out.h"
#include "imaging/sample_images.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

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

double processorSeconds(const rusage &u) {
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// One evaluate run of every cover at one threshold by tool, into its own
// folder; the processor time it took, or a negative number if it failed.
double evaluateSeconds(const std::string &tool, const std::string &name, bool keyed) {
    const auto &dir = coverFolder();
    std::vector<std::string> args = {tool, "evaluate", (dir / "covers").string(), "--watermark",
                                     (dir / "watermark.bmp").string(), "-t", "0", "-o",
                                     (dir / ("process-" + name)).string(), "-j", "1", "--overwrite"};
    if (keyed) {
        const std::string key = (dir / "bench.key").string();
        // keygen never replaces a key, so every run uses the first one.
        if (!std::filesystem::exists(key))
            bench::runQuietly({OMBREL_TOOL, "keygen", key});
        args.insert(args.end(), {"--key-file", key, "--id", "bench"});
    }
    const bench::ChildRun run = bench::runQuietly(args);
    return run.ok ? processorSeconds(run.usage) : -1;
}

// Both tools in turn each round, the earlier one first; counters in seconds
// of processor time per cover and threshold.
void EvaluateProcess(benchmark::State &state) {
    const bool keyed = state.range(0) != 0;
    const char *reference = std::getenv("OMBREL_REFERENCE_TOOL");
    double now = 0, before = 0;
    for (auto _ : state) {
        if (reference) {
            const double s = evaluateSeconds(reference, "before", keyed);
            if (s < 0) {
                state.SkipWithError("the reference tool failed");
                return;
            }
            before += s;
        }
        const double s = evaluateSeconds(OMBREL_TOOL, "now", keyed);
        if (s < 0) {
            state.SkipWithError("the tool failed");
            return;
        }
        now += s;
    }
    const double runs = static_cast<double>(state.iterations()) * kCovers;
    state.counters["cpu_s"] = now / runs;
    if (reference) {
        state.counters["before_cpu_s"] = before / runs;
        state.counters["speedup"] = before / now;
    }
}
BENCHMARK(EvaluateProcess)->ArgName("keyed")->Arg(0)->Arg(1)->UseRealTime()
    ->Unit(benchmark::kSecond)->Iterations(3);

} // namespace
} // namespace ombrel
