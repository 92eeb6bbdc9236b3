// SPDX-License-Identifier: Apache-2.0
// The public API as another program calls it, beside the core it wraps; the
// Python module's figures (bench/python_vs_cpp.py) are measured against these.
#include "api/ombrel.h"
#include "imaging/sample_images.h"
#include "stego/embedding.h"
#include "support/pixels.h"

#include <benchmark/benchmark.h>

namespace ombrel {
namespace {

const Pixels &cover() {
    static const Pixels p = test::bytesOf(sampleCover(), 3);
    return p;
}
const Pixels &watermark() {
    static const Pixels p = test::bytesOf(sampleWatermark(), 1);
    return p;
}

// The core on surfaces, everything allocated afresh.
void CoreEmbed(benchmark::State &state) {
    const Surface c = surfaceOf(sampleCover()), w = surfaceOf(sampleWatermark());
    for (auto _ : state)
        benchmark::DoNotOptimize(embed(c, w, 0));
}
BENCHMARK(CoreEmbed)->Unit(benchmark::kMillisecond);

// What ombrel.embed calls: bytes in, bytes out.
void ApiMark(benchmark::State &state) {
    const Pixels &c = cover(), &w = watermark(); // drawn once, outside the timing
    for (auto _ : state)
        benchmark::DoNotOptimize(mark(c, w, 0));
}
BENCHMARK(ApiMark)->Unit(benchmark::kMillisecond);

void ApiEmbedWithPsnr(benchmark::State &state) {
    const Pixels &c = cover(), &w = watermark();
    for (auto _ : state)
        benchmark::DoNotOptimize(embed(c, w, 0));
}
BENCHMARK(ApiEmbedWithPsnr)->Unit(benchmark::kMillisecond);

void ApiExtract(benchmark::State &state) {
    const Pixels marked = mark(cover(), watermark(), 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(extract(marked));
}
BENCHMARK(ApiExtract)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace ombrel
