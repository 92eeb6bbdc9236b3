#include "cli/attacks.h"
#include "cli/chart.h"
#include "cli/commands.h"

#include "imaging/quality.h"
#include "stego/embedding.h"
#include "stego/intake.h"
#include "text/texts.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cmath>
#include <filesystem>
#include <iomanip>
#include <limits>
#include <mutex>
#include <sstream>
#include <thread>

#include <unistd.h>

namespace ombrel::cli {

const char kEvaluateHelp[] =
    "Usage: ombrel evaluate COVER... --watermark W [-t LIST] [--fit] -o DIR [-j N]\n"
    "                       [--shard K/N]\n"
    "For every cover (a folder stands for its .bmp, .png, .tif, .tiff, .ppm, .pgm,\n"
    ".jpg and .jpeg pictures) and every threshold in LIST: embeds W, measures PSNR\n"
    "and SSIM of the marked image against the cover, extracts and measures NC\n"
    "against W, and runs every attack of 'ombrel attack'. Covers that are not\n"
    "1024x768 (without --fit) or cannot be read are reported and skipped.\n"
    "Writes DIR/results.csv (a row per cover, threshold and attack), DIR/summary.md\n"
    "(mean, min and max per attack and threshold) and DIR/chart.png (mean NC per\n"
    "attack with min-max bars). Ctrl-C stops after the covers under way and still\n"
    "writes their rows (exit status 130).\n"
    "\n"
    "  --watermark W       the 512x512 grey watermark to embed\n"
    "  -t, --threshold LIST  thresholds separated by commas (default 0)\n"
    "  --fit               fit covers of any size to 1024x768 and the watermark to\n"
    "                      512x512 grey, as embed --fit does; PSNR and SSIM are\n"
    "                      measured against the fitted cover\n"
    "  -o, --output DIR    the folder for the results\n"
    "  -j, --jobs N        covers evaluated at once (default: every core)\n"
    "  --shard K/N         only covers K, K+N, K+2N, ... (K from 1) of the covers in\n"
    "                      the sorted order of their paths; N shards hold every row\n"
    "                      of the whole run exactly once\n";

namespace {

struct Row {
    std::size_t cover; // index into the cover list
    int threshold;
    double embedPsnr, embedSsim;
    AttackScore score;
};

std::vector<int> thresholdList(const std::string &list) {
    std::vector<int> thresholds;
    std::stringstream in(list);
    for (std::string item; std::getline(in, item, ',');) {
        const auto t = parseThreshold(item);
        if (!t)
            throw Refusal{std::string(text::kThresholdInvalid)};
        if (std::find(thresholds.begin(), thresholds.end(), *t) == thresholds.end())
            thresholds.push_back(*t);
    }
    if (thresholds.empty())
        throw Refusal{std::string(text::kThresholdInvalid)};
    return thresholds;
}

int wholeNumber(const std::string &s, const std::string &what) {
    std::size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(s, &used);
    } catch (const std::exception &) {
        used = 0;
    }
    if (used == 0 || used != s.size() || value < 1)
        throw UsageError{what + " must be a whole number from 1: " + s};
    return value;
}

bool isPictureName(const std::filesystem::path &p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const char *known : {".bmp", ".png", ".tif", ".tiff", ".ppm", ".pgm", ".jpg", ".jpeg"})
        if (ext == known)
            return true;
    return false;
}

// Files as given, folders as their pictures; sorted by path, each once.
std::vector<std::string> listCovers(const std::vector<std::string> &given) {
    std::vector<std::string> covers;
    for (const std::string &g : given) {
        std::error_code ec;
        if (!std::filesystem::is_directory(g, ec)) {
            covers.push_back(g);
            continue;
        }
        for (const auto &entry : std::filesystem::directory_iterator(g, ec))
            if (isPictureName(entry.path()) && !entry.is_directory(ec))
                covers.push_back(entry.path().string());
        if (ec)
            throw Refusal{g + ": cannot read the folder: " + ec.message()};
    }
    std::sort(covers.begin(), covers.end());
    covers.erase(std::unique(covers.begin(), covers.end()), covers.end());
    return covers;
}

std::string csvField(const std::string &s) {
    if (s.find_first_of(",\"\n") == std::string::npos)
        return s;
    std::string quoted = "\"";
    for (char c : s)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string resultsCsv(const std::vector<Row> &rows, const std::vector<std::string> &covers) {
    std::ostringstream csv;
    csv << "cover,threshold,embed_psnr_db,embed_ssim,attack,attack_psnr_db,nc,bits_agreeing\n";
    for (const Row &r : rows)
        csv << csvField(covers[r.cover]) << "," << r.threshold << "," << formatPsnr(r.embedPsnr)
            << "," << formatNc(r.embedSsim) << "," << r.score.attack << ","
            << formatPsnr(r.score.psnr) << "," << formatNc(r.score.nc) << ","
            << formatNc(r.score.bitsAgreeing) << "\n";
    return csv.str();
}

struct Spread {
    double sum = 0, min = std::numeric_limits<double>::infinity(),
           max = -std::numeric_limits<double>::infinity();
    int n = 0;
    void add(double v) {
        sum += v;
        min = std::min(min, v);
        max = std::max(max, v);
        ++n;
    }
    double mean() const { return n ? sum / n : 0; }
};

struct Summary {
    std::vector<int> thresholds;
    // [threshold][attack]
    std::vector<std::vector<Spread>> nc, bits, psnr;
    std::vector<Spread> embedPsnr, embedSsim;
};

Summary summarise(const std::vector<Row> &rows, const std::vector<int> &thresholds) {
    const std::size_t attackCount = attacks().size();
    Summary s{thresholds,
              std::vector(thresholds.size(), std::vector<Spread>(attackCount)),
              std::vector(thresholds.size(), std::vector<Spread>(attackCount)),
              std::vector(thresholds.size(), std::vector<Spread>(attackCount)),
              std::vector<Spread>(thresholds.size()),
              std::vector<Spread>(thresholds.size())};
    for (const Row &r : rows) {
        const auto t = static_cast<std::size_t>(
            std::find(thresholds.begin(), thresholds.end(), r.threshold) - thresholds.begin());
        std::size_t a = 0;
        while (attacks()[a].name != r.score.attack)
            ++a;
        s.nc[t][a].add(*r.score.nc);
        s.bits[t][a].add(*r.score.bitsAgreeing);
        s.psnr[t][a].add(r.score.psnr);
        if (a == 0) {
            s.embedPsnr[t].add(r.embedPsnr);
            s.embedSsim[t].add(r.embedSsim);
        }
    }
    return s;
}

std::string summaryMarkdown(const Summary &s, std::size_t covers) {
    std::ostringstream md;
    md << "# Evaluation summary\n\n" << covers << " covers evaluated.\n";
    auto three = [](const Spread &sp, auto format) {
        if (!sp.n)
            return std::string("- | - | -");
        return format(sp.mean()) + " | " + format(sp.min) + " | " + format(sp.max);
    };
    auto nc = [](double v) { return formatNc(v); };
    auto share = [](double v) { return formatShare(v); };
    auto db = [](double v) { return formatPsnr(v); };
    for (std::size_t t = 0; t < s.thresholds.size(); ++t) {
        md << "\n## Threshold " << s.thresholds[t] << "\n\n"
           << "Marked image against the cover: PSNR " << three(s.embedPsnr[t], db)
           << " dB (mean | min | max), SSIM " << three(s.embedSsim[t], nc) << ".\n\n"
           << "| attack | NC mean | NC min | NC max | bits agreeing mean | min | max | PSNR "
              "mean (dB) | min | max |\n"
           << "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
        for (std::size_t a = 0; a < attacks().size(); ++a)
            md << "| " << attacks()[a].name << " | " << three(s.nc[t][a], nc) << " | "
               << three(s.bits[t][a], share) << " | " << three(s.psnr[t][a], db) << " |\n";
    }
    return md.str();
}

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onInterrupt(int) { interrupted = true; }

// Ctrl-C asks the run to stop after the covers under way; the previous
// handler comes back when the run ends.
class InterruptGuard {
public:
    InterruptGuard() {
        interrupted = false;
        previous_ = std::signal(SIGINT, onInterrupt);
    }
    ~InterruptGuard() { std::signal(SIGINT, previous_); }
    InterruptGuard(const InterruptGuard &) = delete;
    InterruptGuard &operator=(const InterruptGuard &) = delete;

private:
    void (*previous_)(int);
};

std::string clock(double seconds) {
    const long s = std::lround(seconds);
    std::ostringstream t;
    t << s / 60 << ":" << std::setw(2) << std::setfill('0') << s % 60;
    return t.str();
}

} // namespace

int evaluateCommand(const Parsed &p, std::ostream &out, std::ostream &err) {
    if (p.positional.empty())
        throw UsageError{"evaluate needs at least one COVER"};
    const std::string watermarkPath = required(p, "watermark", "evaluate needs --watermark W");
    const std::filesystem::path dir = required(p, "output", "evaluate needs -o DIR");
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const int jobs = option(p, "jobs") ? wholeNumber(*option(p, "jobs"), "-j") : static_cast<int>(cores);
    int shardK = 1, shardN = 1;
    if (const auto shard = option(p, "shard")) {
        const auto slash = shard->find('/');
        if (slash == std::string::npos)
            throw UsageError{"--shard needs K/N"};
        shardK = wholeNumber(shard->substr(0, slash), "K of --shard");
        shardN = wholeNumber(shard->substr(slash + 1), "N of --shard");
        if (shardK > shardN)
            throw UsageError{"--shard K/N needs K from 1 to N"};
    }
    const std::vector<int> thresholds = thresholdList(option(p, "threshold").value_or("0"));
    // The run ends in a chart: one that cannot be drawn is said before the work.
    if (const std::string why = chartProblem(); !why.empty())
        throw Refusal{(dir / "chart.png").string() + ": " + why};
    const Fit fit = fitOption(p);
    const Surface watermark = watermarkSurface(watermarkPath, fit);

    std::vector<std::string> covers;
    const std::vector<std::string> all = listCovers(p.positional);
    for (std::size_t i = static_cast<std::size_t>(shardK - 1); i < all.size(); i += shardN)
        covers.push_back(all[i]);
    // A shard may fall past the last cover of a small dataset; it then writes
    // an empty table, so a scheduler running every shard sees no failure.
    if (all.empty())
        throw Refusal{"no cover to evaluate"};
    // From here on Ctrl-C ends the run with the rows finished so far; the
    // folder appearing tells a watcher that the run has come this far.
    InterruptGuard guard;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec)
        throw Refusal{dir.string() + ": cannot create the folder: " + ec.message()};

    std::vector<MarkBits> marks;
    for (int t : thresholds)
        marks.emplace_back(watermark, t);

    std::vector<std::vector<Row>> results(covers.size());
    std::atomic<std::size_t> next{0};
    std::mutex lock;
    std::condition_variable changed;
    std::size_t unitsDone = 0, coversDone = 0, skipped = 0, handled = 0;
    const std::size_t units = covers.size() * thresholds.size();
    const bool terminal = isatty(STDERR_FILENO);
    auto clearLine = [&] {
        if (terminal)
            err << "\r\033[K";
    };

    auto work = [&] {
        for (std::size_t i; !interrupted && (i = next++) < covers.size();) {
            std::vector<Row> rows;
            std::string refusal;
            std::size_t unitsHere = 0;
            try {
                const Surface cover = coverSurface(covers[i], fit);
                for (std::size_t t = 0; t < thresholds.size() && !interrupted; ++t) {
                    const Image marked = embed(cover, watermark, thresholds[t]).watermarked.image();
                    const double psnr = compareImages(cover.image(), marked)->psnr;
                    const double ssim = structuralSimilarity(cover.image(), marked).value_or(0);
                    for (const AttackScore &s :
                         scoreAttacks(marked, MarkToCheck{watermark.image(), marks[t]}))
                        rows.push_back({i, thresholds[t], psnr, ssim, s});
                    const std::lock_guard hold(lock);
                    ++unitsDone;
                    ++unitsHere;
                    changed.notify_all();
                }
            } catch (const Refusal &r) {
                refusal = r.message;
            } catch (const std::exception &e) {
                refusal = covers[i] + ": " + e.what();
            }
            const std::lock_guard hold(lock);
            if (!refusal.empty()) {
                clearLine();
                err << "skipped " << refusal << "\n";
                unitsDone += thresholds.size() - unitsHere;
                ++skipped;
            } else if (rows.size() == thresholds.size() * attacks().size()) {
                results[i] = std::move(rows);
                ++coversDone;
            }
            ++handled;
            changed.notify_all();
        }
    };
    const auto started = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (int w = 0; w < std::min<int>(jobs, static_cast<int>(covers.size())); ++w)
        workers.emplace_back(work);
    {
        std::unique_lock hold(lock);
        while (handled < covers.size() && !interrupted) {
            changed.wait_for(hold, std::chrono::milliseconds(250));
            if (!terminal)
                continue;
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            const double rate = seconds > 0 ? unitsDone / seconds : 0;
            const int width = 30;
            const int filled = static_cast<int>(width * unitsDone / units);
            err << "\r[" << std::string(filled, '#') << std::string(width - filled, ' ') << "] "
                << unitsDone << "/" << units << "  " << std::fixed << std::setprecision(2) << rate
                << " images/s  "
                << (rate > 0 ? clock((units - unitsDone) / rate) + " left" : std::string("--:-- left"))
                << std::flush;
        }
    }
    for (auto &w : workers)
        w.join();
    clearLine();

    std::vector<Row> rows;
    for (const auto &r : results)
        rows.insert(rows.end(), r.begin(), r.end());
    const std::string csvPath = (dir / "results.csv").string();
    saveText(csvPath, resultsCsv(rows, covers));
    const Summary summary = summarise(rows, thresholds);
    saveText((dir / "summary.md").string(), summaryMarkdown(summary, coversDone));
    std::vector<std::string> names;
    for (const Attack &a : attacks())
        names.emplace_back(a.name);
    std::vector<ChartSeries> series;
    for (std::size_t t = 0; t < thresholds.size(); ++t) {
        ChartSeries s{"threshold " + std::to_string(thresholds[t]), {}, {}, {}};
        for (const Spread &sp : summary.nc[t]) {
            s.values.push_back(sp.mean());
            s.low.push_back(sp.n ? sp.min : 0);
            s.high.push_back(sp.n ? sp.max : 0);
        }
        series.push_back(std::move(s));
    }
    const std::string chartPath = (dir / "chart.png").string();
    const std::string why =
        saveNcChart(chartPath, "NC per attack: mean, min and max over the covers", names, series);
    if (!why.empty())
        throw Refusal{chartPath + ": " + why};

    out << "Evaluated " << coversDone << " of " << covers.size() << " covers";
    if (skipped)
        out << " (" << skipped << " skipped)";
    out << ", " << rows.size() << " rows\nWrote " << csvPath << "\nWrote "
        << (dir / "summary.md").string() << "\nWrote " << chartPath << "\n";
    if (interrupted) {
        err << "interrupted: " << coversDone << " of " << covers.size()
            << " covers finished; " << csvPath << " holds their rows\n";
        return 130;
    }
    return kDone;
}

} // namespace ombrel::cli
