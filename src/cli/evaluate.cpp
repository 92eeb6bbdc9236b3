#include "cli/attacks.h"
#include "cli/tampers.h"
#include "cli/chart.h"
#include "cli/commands.h"
#include "cli/cover_marking.h"
#include "cli/key_option.h"
#include "cli/evaluation_report.h"
#include "cli/progress_bar.h"

#include "imaging/quality.h"
#include "stego/embedding.h"
#include "stego/intake.h"
#include "text/texts.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <thread>

namespace ombrel::cli {

const char kEvaluateHelp[] =
    "Usage: ombrel evaluate COVER... --watermark W [-t LIST] [--fit] -o DIR [-j N]\n"
    "                       [--shard K/N] [--key-file KEY [--id TEXT]]\n"
    "For every cover (a folder stands for its .bmp, .png, .tif, .tiff, .ppm, .pgm,\n"
    ".jpg and .jpeg pictures) and every threshold in LIST: embeds W, measures PSNR\n"
    "and SSIM of the marked image against the cover, extracts and measures NC\n"
    "against W, and runs every attack of 'ombrel attack'. Covers that are not\n"
    "1024x768 (without --fit) or cannot be read are reported and skipped.\n"
    "Writes DIR/results.csv (a row per cover, threshold and attack), DIR/summary.md\n"
    "(mean, min and max per attack and threshold) and DIR/chart.png (mean NC per\n"
    "attack with min-max bars). Ctrl-C stops after the covers under way and still\n"
    "writes their rows (exit status 130). The tampers are scored against the 8x8\n"
    "blocks they changed (tamper_precision and tamper_recall in the CSV, a table of\n"
    "them in the summary), and the collage takes its region from the next cover of\n"
    "the run (in sorted order, the last from the first), marked the same way with\n"
    "its own id; a run of one cover has no collage.\n"
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
    "                      of the whole run exactly once\n"
    "  --key-file KEY      keyed marks with the key in KEY, each cover's file name\n"
    "                      as its id\n"
    "  --id TEXT           one id for every cover instead: the collage then shows\n"
    "                      what marks that share an id let through\n";

namespace {

std::vector<int> thresholdList(const std::string &list) {
    std::vector<int> thresholds;
    std::stringstream in(list);
    for (std::string item; std::getline(in, item, ',');) {
        const auto t = parseThreshold(item);
        if (!t)
            throw Refusal(std::string(text::kThresholdInvalid));
        if (std::find(thresholds.begin(), thresholds.end(), *t) == thresholds.end())
            thresholds.push_back(*t);
    }
    if (thresholds.empty())
        throw Refusal(std::string(text::kThresholdInvalid));
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
        throw UsageError(what + " must be a whole number from 1: " + s);
    return value;
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
            if (isPictureName(entry.path().string()) && !entry.is_directory(ec))
                covers.push_back(entry.path().string());
        if (ec)
            throw Refusal(g + ": cannot read the folder: " + ec.message());
    }
    std::sort(covers.begin(), covers.end());
    covers.erase(std::unique(covers.begin(), covers.end()), covers.end());
    return covers;
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

// What the command line asks for.
struct Settings {
    std::string watermarkPath;
    std::filesystem::path dir;
    int jobs = 1;
    int shardK = 1, shardN = 1;
    std::vector<int> thresholds;
    Fit fit = Fit::Offered;
    std::optional<MarkKey> key;
    std::optional<std::string> sharedId;
};

Settings settingsOf(const Parsed &p) {
    using namespace options;
    if (p.positional.empty())
        throw UsageError("evaluate needs at least one COVER");
    Settings s;
    s.watermarkPath = required(p, kWatermark.name, "evaluate needs --watermark W");
    s.dir = required(p, kOutput.name, "evaluate needs -o DIR");
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const auto jobs = option(p, kJobs.name);
    s.jobs = jobs ? wholeNumber(*jobs, "-j") : static_cast<int>(cores);
    if (const auto shard = option(p, kShard.name)) {
        const auto slash = shard->find('/');
        if (slash == std::string::npos)
            throw UsageError("--shard needs K/N");
        s.shardK = wholeNumber(shard->substr(0, slash), "K of --shard");
        s.shardN = wholeNumber(shard->substr(slash + 1), "N of --shard");
        if (s.shardK > s.shardN)
            throw UsageError("--shard K/N needs K from 1 to N");
    }
    s.thresholds = thresholdList(option(p, kThreshold.name).value_or("0"));
    s.fit = fitOption(p);
    s.key = keyOption(p);
    s.sharedId = option(p, kId.name);
    return s;
}

// The covers of one run and what each is measured against.
struct Job {
    const std::vector<std::string> &covers;
    const Surface &watermark;
    const std::vector<int> &thresholds;
    Fit fit;
    int jobs;
    const std::optional<MarkKey> &key;
    const std::optional<std::string> &sharedId;
    const std::vector<std::string> &allCovers; // of every shard, sorted: the collages' donors
};

// What the workers hand back: the rows of every finished cover, in the
// covers' order (none for one skipped or cut short).
struct Outcome {
    std::vector<EvaluationRow> rows;
    std::size_t finished = 0, skipped = 0;
};

// Marks, measures and attacks every cover on jobs threads, with a progress
// bar and a line per skipped cover on err; Ctrl-C stops after the covers
// under way.
Outcome evaluateCovers(const Job &job, std::ostream &err) {
    const std::vector<std::string> &covers = job.covers;
    const std::vector<int> &thresholds = job.thresholds;
    std::vector<MarkBits> marks;
    for (int t : thresholds)
        marks.emplace_back(job.watermark, t);

    std::vector<std::vector<EvaluationRow>> results(covers.size());
    std::atomic<std::size_t> next{0};
    std::mutex lock;
    std::condition_variable changed;
    // Guarded by lock, as is the bar.
    std::size_t unitsDone = 0, finished = 0, skipped = 0, handled = 0;
    ProgressBar bar(err, covers.size() * thresholds.size());

    auto work = [&] {
        for (std::size_t i; !interrupted && (i = next++) < covers.size();) {
            std::vector<EvaluationRow> rows;
            std::string refusal;
            std::size_t unitsHere = 0;
            try {
                const Surface cover = coverSurface(covers[i], job.fit);
                const CoverMarking marking(job.key, covers[i], job.sharedId);
                const CollageDonor donor(job.allCovers, covers[i], job.fit, job.key, job.sharedId);
                for (std::size_t t = 0; t < thresholds.size() && !interrupted; ++t) {
                    const Image marked = marking.mark(cover, job.watermark, thresholds[t]);
                    const double psnr = compareImages(cover.image(), marked)->psnr;
                    const double ssim = structuralSimilarity(cover.image(), marked).value_or(0);
                    const MarkToCheck check{job.watermark.image(), marks[t], marking.keystream()};
                    for (const AttackScore &s : scoreAttacks(marked, check))
                        rows.push_back({i, thresholds[t], psnr, ssim, s});
                    if (const auto other = donor.marked(job.watermark, thresholds[t]))
                        rows.push_back({i, thresholds[t], psnr, ssim, scoreCollage(marked, *other, check)});
                    const std::lock_guard hold(lock);
                    ++unitsDone;
                    ++unitsHere;
                    changed.notify_all();
                }
            } catch (const Refusal &r) {
                refusal = r.what();
            } catch (const std::exception &e) {
                refusal = covers[i] + ": " + e.what();
            }
            const std::lock_guard hold(lock);
            if (!refusal.empty()) {
                bar.say("skipped " + refusal);
                unitsDone += thresholds.size() - unitsHere;
                ++skipped;
            } else if (unitsHere == thresholds.size()) {
                results[i] = std::move(rows);
                ++finished;
            }
            ++handled;
            changed.notify_all();
        }
    };
    prepareTamperText(); // on this thread, before the workers tamper
    std::vector<std::thread> workers;
    for (int w = 0; w < std::min<int>(job.jobs, static_cast<int>(covers.size())); ++w)
        workers.emplace_back(work);
    {
        std::unique_lock hold(lock);
        while (handled < covers.size() && !interrupted) {
            changed.wait_for(hold, std::chrono::milliseconds(250));
            bar.show(unitsDone);
        }
    }
    for (auto &w : workers)
        w.join();
    bar.clear();

    Outcome outcome{{}, finished, skipped};
    for (const auto &r : results)
        outcome.rows.insert(outcome.rows.end(), r.begin(), r.end());
    return outcome;
}

} // namespace

int evaluateCommand(const Parsed &p, std::ostream &out, std::ostream &err) {
    const Settings settings = settingsOf(p);
    const EvaluationFiles files = evaluationFiles(settings.dir);
    // The run ends in a chart: one that cannot be drawn is said before the work.
    if (const auto problem = chartProblem())
        throw Refusal(files.chart + ": " + chartErrorText(*problem));
    const Surface watermark = watermarkSurface(settings.watermarkPath, settings.fit);

    std::vector<std::string> covers;
    const std::vector<std::string> all = listCovers(p.positional);
    for (auto i = static_cast<std::size_t>(settings.shardK - 1); i < all.size(); i += settings.shardN)
        covers.push_back(all[i]);
    // A shard may fall past the last cover of a small dataset; it then writes
    // an empty table, so a scheduler running every shard sees no failure.
    if (all.empty())
        throw Refusal("no cover to evaluate");
    // From here on Ctrl-C ends the run with the rows finished so far; the
    // folder appearing tells a watcher that the run has come this far.
    InterruptGuard guard;
    std::error_code ec;
    std::filesystem::create_directories(settings.dir, ec);
    if (ec)
        throw Refusal(settings.dir.string() + ": cannot create the folder: " + ec.message());

    const Outcome outcome =
        evaluateCovers({covers, watermark, settings.thresholds, settings.fit, settings.jobs,
                        settings.key, settings.sharedId, all}, err);
    writeEvaluationReport(files, outcome.rows, covers, settings.thresholds, outcome.finished);

    out << "Evaluated " << outcome.finished << " of " << covers.size() << " covers";
    if (outcome.skipped)
        out << " (" << outcome.skipped << " skipped)";
    out << ", " << outcome.rows.size() << " rows\nWrote " << files.csv << "\nWrote "
        << files.summary << "\nWrote " << files.chart << "\n";
    if (interrupted) {
        err << "interrupted: " << outcome.finished << " of " << covers.size()
            << " covers finished; " << files.csv << " holds their rows\n";
        return kInterrupted;
    }
    return kDone;
}

} // namespace ombrel::cli
