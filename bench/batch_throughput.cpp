// SPDX-License-Identifier: Apache-2.0
// One `ombrel embed` over 40 covers at -j 2 against 40 single calls, in turn
// in every round so both see the same load; then the per-cover figures
// beside a bare decode and encode of the same picture by Qt.
//   batch_throughput [ROUNDS]   (default 5)
#include "child_process.h"

#include "imaging/sample_images.h"
#include "imaging/picture_out.h"

#include <QBuffer>
#include <QImage>
#include <QString>

#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCovers = 40; // the batch the issue measured

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Processor time of the tool's processes, seconds: the part of a figure a
// shared machine's load does not change.
double toolCpu = 0;

void runTool(const std::vector<std::string> &args) {
    const ombrel::bench::ChildRun run = ombrel::bench::runQuietly(args);
    const rusage &usage = run.usage;
    toolCpu += usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
               (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    if (!run.ok) {
        std::fprintf(stderr, "batch_throughput: %s failed\n", args[1].c_str());
        std::exit(1);
    }
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    using namespace ombrel;
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const auto dir = std::filesystem::temp_directory_path() / ("ombrel-batch-" + std::to_string(getpid()));
    const auto covers = dir / "covers";
    std::filesystem::create_directories(covers);
    // The sample cover with its channels turned, so each cover differs.
    Image cover = sampleCover();
    std::vector<std::string> paths;
    for (int i = 0; i < kCovers; ++i) {
        for (ColourWord &p : cover.pixels) {
            const Channels c = split(p);
            p = rgb(c.blue, c.red, c.green);
        }
        paths.push_back((covers / ("cover" + std::to_string(100 + i) + ".bmp")).string());
        if (!saveBitmap(cover, paths.back()))
            return 1;
    }
    const std::string mark = (dir / "watermark.bmp").string();
    if (!saveBitmap(sampleWatermark(), mark, PictureKind::Grey8))
        return 1;

    const auto many = [&] {
        std::filesystem::remove_all(dir / "many");
        runTool({OMBREL_TOOL, "embed", covers.string(), "--watermark", mark, "-j", "2", "-o",
                 (dir / "many").string()});
    };
    const auto single = [&] {
        std::filesystem::create_directories(dir / "single");
        for (const std::string &p : paths)
            runTool({OMBREL_TOOL, "embed", p, mark, "-o",
                     (dir / "single" / std::filesystem::path(p).filename()).string()});
    };
    many(); // warm the page cache
    single();
    std::vector<double> manyS, singleS, ratios, manyCpu, singleCpu;
    for (int r = 0; r < rounds; ++r) {
        auto start = Clock::now();
        toolCpu = 0;
        many();
        manyS.push_back(seconds(start));
        manyCpu.push_back(toolCpu);
        start = Clock::now();
        toolCpu = 0;
        single();
        singleS.push_back(seconds(start));
        singleCpu.push_back(toolCpu);
        ratios.push_back(singleS.back() / manyS.back());
    }

    // What any program must do for each cover: decode it and encode the result.
    std::vector<double> bare;
    for (int r = 0; r < 5; ++r)
        for (const std::string &p : paths) {
            const auto start = Clock::now();
            const QImage image(QString::fromStdString(p), "BMP");
            QBuffer encoded;
            encoded.open(QIODevice::WriteOnly);
            if (image.isNull() || !image.save(&encoded, "BMP"))
                return 1;
            bare.push_back(seconds(start));
        }
    std::filesystem::remove_all(dir);

    const double m = median(manyS), s = median(singleS);
    std::printf("Medians of %d rounds, %d covers, each round both ways in turn.\n\n", rounds, kCovers);
    std::printf("| what | whole batch | per cover | processor time per cover |\n|---|---|---|---|\n");
    std::printf("| one call, -j 2 | %.3f s | %.2f ms | %.2f ms |\n", m, 1000 * m / kCovers,
                1000 * median(manyCpu) / kCovers);
    std::printf("| %d single calls | %.3f s | %.2f ms | %.2f ms |\n", kCovers, s, 1000 * s / kCovers,
                1000 * median(singleCpu) / kCovers);
    std::printf("| bare decode + encode (Qt, in memory, one thread) | | %.2f ms | |\n", 1000 * median(bare));
    std::printf("\nRatio, single calls to one call: median %.2fx (rounds from %.2fx to %.2fx; goal >= 5x)\n",
                median(ratios), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));
    return 0;
}
