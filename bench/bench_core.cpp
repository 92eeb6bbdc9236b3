// SPDX-License-Identifier: Apache-2.0
#include "cli/cli.h"
#include "imaging/picture_in.h"
#include "imaging/picture_out.h"
#include "imaging/sample_images.h"
#include "stego/embedding.h"
#include "stego/extraction.h"
#include "stego/keyed_mark.h"
#include "stego/verify.h"
#include "wavelet/haar.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>

namespace ombrel {
namespace {

const Surface &cover() {
    static const Surface s = surfaceOf(sampleCover());
    return s;
}
const Surface &watermark() {
    static const Surface s = surfaceOf(sampleWatermark());
    return s;
}

// As the embedding screen runs it: its matrices and surfaces live on from
// run to run.
void EmbedCore(benchmark::State &state) {
    EmbeddingPipeline pipeline;
    EmbedResult result{cover(), makeWaveletSurface(), makeWaveletSurface()};
    Progress progress;
    for (auto _ : state) {
        pipeline.run(cover(), watermark(), 0, result, progress);
        benchmark::DoNotOptimize(result.watermarked.image().pixels.data());
    }
}
BENCHMARK(EmbedCore)->Unit(benchmark::kMillisecond);

const Keystream &keystream() {
    static const Keystream k(MarkKey{SecretBytes(32, 0x6b), "cover.bmp"});
    return k;
}

// The tool's core between decoding and encoding: the watermark read and
// transformed, then embedded into the cover's own pixels with the PSNR summed
// on the way (psnr:1) or not, keyless (keyed:0) or keyed (keyed:1). The cover
// is restored, untimed, before each run.
void EmbedInPlace(benchmark::State &state) {
    Surface target{Image(cover().image())};
    EmbeddingPipeline pipeline;
    Progress progress;
    for (auto _ : state) {
        state.PauseTiming();
        target.image().pixels = cover().image().pixels;
        state.ResumeTiming();
        std::optional<BlockHashes> hashes;
        if (state.range(1))
            hashes.emplace(keystream(), target.image());
        double psnr = 0;
        pipeline.read(nullptr, &watermark(), progress)
            .transform(0, progress)
            .quantise()
            .embedInPlace(target, progress, state.range(0) ? &psnr : nullptr, hashes ? &*hashes : nullptr);
        benchmark::DoNotOptimize(psnr);
    }
}
BENCHMARK(EmbedInPlace)
    ->ArgNames({"psnr", "keyed"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond);

// As the command-line tool runs it: everything allocated afresh.
void EmbedFresh(benchmark::State &state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(embed(cover(), watermark(), 0));
}
BENCHMARK(EmbedFresh)->Unit(benchmark::kMillisecond);

// As the tool verifies: the mark's bits worked out, then compared.
void VerifyKeyedOrNot(benchmark::State &state) {
    const Keystream *key = state.range(0) ? &keystream() : nullptr;
    const Image marked = embed(cover(), watermark(), 0, {}, key).watermarked.image();
    for (auto _ : state) {
        const MarkReport r = verifyMark(marked, MarkBits(watermark(), 0), key);
        if (!r.intact())
            state.SkipWithError("the mark did not verify");
        benchmark::DoNotOptimize(r.bitsCompared);
    }
}
BENCHMARK(VerifyKeyedOrNot)->ArgName("keyed")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The keystream alone: every carrying block hashed and XORed once.
void KeystreamApply(benchmark::State &state) {
    Image image = cover().image();
    for (auto _ : state) {
        keystream().apply(image);
        benchmark::DoNotOptimize(image.pixels.data());
    }
}
BENCHMARK(KeystreamApply)->Unit(benchmark::kMillisecond);

// What one guess at a key costs whoever holds a sealed picture and its
// watermark: the image key, then one block's keystream, which a wrong key
// gets wrong in all but 2^-36 of cases.
void KeyGuess(benchmark::State &state) {
    const Image marked = embed(cover(), watermark(), 0, {}, &keystream()).watermarked.image();
    SecretBytes guess(16, 's');
    for (auto _ : state) {
        ++guess[0];
        const Keystream k(guess, "");
        benchmark::DoNotOptimize(k.block(marked, 64, 10));
    }
}
BENCHMARK(KeyGuess)->Unit(benchmark::kMicrosecond);

// The same guess at a passphrase: Argon2id first, on one core. The figure
// the keyed-marks page gives for a dictionary.
void PassphraseGuess(benchmark::State &state) {
    SecretBytes guess(16, 's');
    for (auto _ : state) {
        ++guess[0];
        benchmark::DoNotOptimize(keyFromPassphrase(guess));
    }
}
BENCHMARK(PassphraseGuess)->Unit(benchmark::kMillisecond)->Iterations(10);

void ExtractCore(benchmark::State &state) {
    const Surface marked = embed(cover(), watermark(), 0).watermarked;
    ExtractionPipeline pipeline;
    Surface picture = makeExtractedSurface();
    Progress progress;
    for (auto _ : state) {
        pipeline.run(marked, picture, progress);
        benchmark::DoNotOptimize(picture.image().pixels.data());
    }
}
BENCHMARK(ExtractCore)->Unit(benchmark::kMillisecond);


void ExtractFresh(benchmark::State &state) {
    const Surface marked = embed(cover(), watermark(), 0).watermarked;
    for (auto _ : state)
        benchmark::DoNotOptimize(extract(marked));
}
BENCHMARK(ExtractFresh)->Unit(benchmark::kMillisecond);

CoeffMatrix watermarkMatrix() {
    CoeffMatrix m = makeCoeffMatrix();
    for (int y = 1; y <= 512; ++y)
        for (int x = 1; x <= 512; ++x)
            m(x, y) = watermark().point(x, y) & 255;
    return m;
}

void ForwardTransform(benchmark::State &state) {
    const CoeffMatrix m = watermarkMatrix();
    CoeffMatrix out = makeCoeffMatrix();
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        fwdwavelet(m, n, out);
        benchmark::DoNotOptimize(out.row(1));
    }
}
BENCHMARK(ForwardTransform)->Arg(512)->Arg(256)->Unit(benchmark::kMicrosecond);

void InverseTransform(benchmark::State &state) {
    const CoeffMatrix m = fwdwavelet(fwdwavelet(watermarkMatrix(), 512), 256);
    CoeffMatrix out = makeCoeffMatrix();
    const int level = static_cast<int>(state.range(0));
    for (auto _ : state) {
        invwavelet(m, level, out);
        benchmark::DoNotOptimize(out.row(1));
    }
}
BENCHMARK(InverseTransform)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

std::string scratchFile() {
    return (std::filesystem::temp_directory_path() / "ombrel-bench.bmp").string();
}

void BitmapSave(benchmark::State &state) {
    const std::string path = scratchFile();
    for (auto _ : state)
        benchmark::DoNotOptimize(saveBitmap(cover().image(), path));
    std::remove(path.c_str());
}
BENCHMARK(BitmapSave)->Unit(benchmark::kMillisecond);

void BitmapLoad(benchmark::State &state) {
    const std::string path = scratchFile();
    if (!saveBitmap(cover().image(), path)) {
        state.SkipWithError("cannot write the cover");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(loadBitmap(path));
    std::remove(path.c_str());
}
BENCHMARK(BitmapLoad)->Unit(benchmark::kMillisecond);

// The tool as a script calls it: read, check, embed or extract, write.
void CliEndToEnd(benchmark::State &state) {
    keepLibraryNoiseOffStderr(); // as the tool's main does, so its cost is counted
    const auto dir = std::filesystem::temp_directory_path();
    const std::string cover = (dir / "ombrel-bench-cover.bmp").string();
    const std::string mark = (dir / "ombrel-bench-watermark.bmp").string();
    const std::string out = (dir / "ombrel-bench-out.bmp").string();
    const std::string back = (dir / "ombrel-bench-back.bmp").string();
    if (!saveBitmap(sampleCover(), cover) || !saveBitmap(sampleWatermark(), mark, PictureKind::Grey8)) {
        state.SkipWithError("cannot write the samples");
        return;
    }
    const bool embedding = state.range(0) == 0;
    std::ostringstream sink;
    if (!embedding)
        cli::run({"embed", cover, mark, "-o", out}, sink, sink);
    for (auto _ : state) {
        const int code = embedding ? cli::run({"embed", cover, mark, "-o", out}, sink, sink)
                                   : cli::run({"extract", out, "-o", back}, sink, sink);
        if (code != 0)
            state.SkipWithError("the tool failed");
        sink.str({});
    }
    for (const auto &f : {cover, mark, out, back})
        std::remove(f.c_str());
}
BENCHMARK(CliEndToEnd)->ArgName("extract")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace ombrel
