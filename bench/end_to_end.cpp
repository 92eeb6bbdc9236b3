// SPDX-License-Identifier: Apache-2.0
// Times whole processes in turn, round after round, so that both sides of a
// ratio see the same load: the yardstick, ombrel embed, ombrel extract, and
// embed and verify keyless and keyed. Then the pipelines in memory. Prints medians, ratios and peak resident memory.
//   end_to_end [ROUNDS [TOOL [SETTLE_MS]]]   (default 21 rounds, the ombrel built
//   beside it, 20 ms between processes; 0 runs them back to back)
#include "child_process.h"

#include "imaging/sample_images.h"
#include "stego/embedding.h"
#include "stego/extraction.h"
#include "stego/keyed_mark.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Run {
    double ms;
    double peakMiB;
};

Run runProcess(const std::vector<std::string> &args) {
    const ombrel::bench::ChildRun run = ombrel::bench::runQuietly(args);
    if (!run.ok) {
        std::fprintf(stderr, "end_to_end: %s failed\n", args[0].c_str());
        std::exit(1);
    }
    return {run.ms, run.usage.ru_maxrss / 1024.0};
}

template <typename T>
double median(std::vector<T> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F>
double medianMs(int repetitions, F &&f) {
    std::vector<double> ms;
    for (int i = 0; i < repetitions; ++i) {
        const auto start = Clock::now();
        f();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return median(ms);
}

} // namespace

int main(int argc, char **argv) {
    using namespace ombrel;
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    const std::string tool = argc > 2 ? argv[2] : OMBREL_TOOL;
    const int settleMs = argc > 3 ? std::max(0, std::atoi(argv[3])) : 20;
    const std::string samples = OMBREL_SOURCE_DIR "/samples/";
    const std::string cover = samples + "cover.bmp", mark = samples + "watermark.bmp";
    const auto dir = std::filesystem::temp_directory_path() / ("ombrel-e2e-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string out = (dir / "out.bmp").string(), back = (dir / "back.bmp").string();
    const std::string yard = (dir / "yard.bmp").string();
    const std::string key = (dir / "bench.key").string(), sealed = (dir / "sealed.bmp").string();
    std::ofstream(key, std::ios::binary) << "thirty-two bytes of benchmark ke";
    // A key file others can read is refused.
    std::filesystem::permissions(key, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    const std::vector<std::vector<std::string>> commands = {
        {OMBREL_YARDSTICK, cover, mark, yard},
        {tool, "embed", cover, mark, "-o", out},
        {tool, "extract", out, "-o", back},
        {tool, "embed", cover, mark, "-o", sealed, "--key-file", key, "--id", "bench"},
        {tool, "verify", out, "--watermark", mark},
        {tool, "verify", sealed, "--watermark", mark, "--key-file", key, "--id", "bench"},
    };
    std::vector<std::vector<double>> ms(commands.size()), peak(commands.size());
    for (const auto &c : commands) // warm the page cache
        runProcess(c);
    // Each keyed command runs next to its keyless one, first on every other
    // round, and is scored by the median of the rounds' differences: the
    // machine's slower and faster moments fall on both alike.
    std::vector<double> keyedEmbed, keyedVerify;
    for (int r = 0; r < rounds; ++r) {
        std::vector<std::size_t> order = {0, 1, 3, 2, 4, 5};
        if (r % 2)
            order = {0, 3, 1, 2, 5, 4};
        for (const std::size_t i : order) {
            // The last process's file is written back and its memory freed by
            // the kernel on the other core for a few milliseconds after it
            // exits; each run starts once that has settled, as a command typed
            // or run from a script with any other step between would.
            std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
            const Run run = runProcess(commands[i]);
            ms[i].push_back(run.ms);
            peak[i].push_back(run.peakMiB);
        }
        keyedEmbed.push_back(ms[3].back() - ms[1].back());
        keyedVerify.push_back(ms[5].back() - ms[4].back());
    }
    std::filesystem::remove_all(dir);

    // The tool's core between decoding and encoding: the watermark read and
    // transformed, then embedded into the cover's own pixels, with and
    // without the PSNR summed on the way. The cover is restored, untimed.
    const Surface coverSurface = surfaceOf(sampleCover());
    const Surface watermark = surfaceOf(sampleWatermark());
    Surface target{Image(coverSurface.image())};
    Progress progress;
    EmbeddingPipeline inPlace;
    const auto embedInPlace = [&](bool withPsnr, const Keystream *key = nullptr) {
        std::vector<double> times;
        for (int i = 0; i < 201; ++i) {
            target.image().pixels = coverSurface.image().pixels;
            const auto start = Clock::now();
            double psnr = 0;
            // Keyed, as the tool runs it: the hashes under way as the watermark is read.
            std::optional<BlockHashes> hashes;
            if (key)
                hashes.emplace(*key, target.image());
            inPlace.read(nullptr, &watermark, progress)
                .transform(0, progress)
                .quantise()
                .embedInPlace(target, progress, withPsnr ? &psnr : nullptr, hashes ? &*hashes : nullptr);
            times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        return median(times);
    };
    const Keystream keystream(MarkKey{SecretBytes(32, 0x6b), "bench"});
    const double embedCore = embedInPlace(false), embedWithPsnr = embedInPlace(true);
    const double keyedCore = embedInPlace(true, &keystream);
    // As the desktop program runs it: the cover copied, both pictures drawn.
    EmbeddingPipeline desktop;
    EmbedResult embedded{coverSurface, makeWaveletSurface(), makeWaveletSurface()};
    const double desktopCore = medianMs(201, [&] {
        desktop.run(coverSurface, watermark, 0, embedded, progress);
    });
    ExtractionPipeline extraction;
    Surface extracted = makeExtractedSurface();
    const double extractCore = medianMs(201, [&] {
        extraction.run(embedded.watermarked, extracted, progress);
    });

    const double y = median(ms[0]);
    std::printf("Medians of %d rounds, each round the six processes in turn; keyed against keyless\n"
                "by the median of the rounds' differences.\n\n", rounds);
    std::printf("| what | median | ratio to the yardstick | peak resident | goal |\n|---|---|---|---|---|\n");
    std::printf("| yardstick: Qt decodes both, encodes one | %.1f ms | 1.00x | %.1f MiB | |\n", y, median(peak[0]));
    std::printf("| `ombrel embed` | %.1f ms | %.2fx | %.1f MiB | <= 1.3x, <= 24 MiB |\n", median(ms[1]),
                median(ms[1]) / y, median(peak[1]));
    std::printf("| `ombrel extract` | %.1f ms | %.2fx | %.1f MiB | <= 1.3x, <= 22 MiB |\n", median(ms[2]),
                median(ms[2]) / y, median(peak[2]));
    std::printf("| `ombrel embed --key-file` | %.1f ms | keyed %+.1f ms | %.1f MiB | <= +5 ms |\n",
                median(ms[3]), median(keyedEmbed), median(peak[3]));
    std::printf("| `ombrel verify` | %.1f ms | | %.1f MiB | |\n", median(ms[4]), median(peak[4]));
    std::printf("| `ombrel verify --key-file` | %.1f ms | keyed %+.1f ms | %.1f MiB | <= +5 ms |\n",
                median(ms[5]), median(keyedVerify), median(peak[5]));
    const auto quartiles = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return std::pair(v[v.size() / 4], v[v.size() * 3 / 4]);
    };
    const auto [embedLow, embedHigh] = quartiles(keyedEmbed);
    const auto [verifyLow, verifyHigh] = quartiles(keyedVerify);
    std::printf("| keyed minus keyless, middle half of the rounds | embed %+.1f .. %+.1f ms, verify %+.1f .. %+.1f ms | | | |\n",
                embedLow, embedHigh, verifyLow, verifyHigh);
    std::printf("| embed core in memory, as the tool runs it (in place) | %.2f ms | | | <= 0.8 ms |\n",
                embedCore);
    std::printf("| the same, the PSNR summed on the way | %.2f ms | | | |\n", embedWithPsnr);
    std::printf("| the same, keyed (the hashes taken on two threads) | %.2f ms | | | |\n", keyedCore);
    std::printf("| embed core as the desktop runs it (cover copied, two pictures) | %.2f ms | | | |\n",
                desktopCore);
    std::printf("| extract core, in memory | %.2f ms | | | <= 0.5 ms |\n", extractCore);
    return 0;
}
