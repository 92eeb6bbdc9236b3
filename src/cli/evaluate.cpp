// SPDX-License-Identifier: Apache-2.0
#include "cli/attacks.h"
#include "cli/batch.h"
#include "cli/tampers.h"
#include "cli/chart.h"
#include "cli/commands.h"
#include "cli/cover_marking.h"
#include "cli/key_option.h"
#include "cli/evaluation_manifest.h"
#include "cli/evaluation_report.h"

#include "imaging/quality.h"
#include "stego/embedding.h"
#include "stego/intake.h"
#include "text/texts.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <optional>

namespace ombrel::cli {

const char kEvaluateHelp[] =
    "Usage: ombrel evaluate COVER... --watermark W [-t LIST] [--fit] -o DIR [-j N]\n"
    "                       [--file-list FILE] [--shard K/N] [--resume | --overwrite]\n"
    "                       [KEY] [--id TEXT | --id-from-name] [--progress]\n"
    "       ombrel evaluate --join SHARD_DIR... -o DIR [--overwrite]\n"
    "For every cover (a folder stands for its .bmp, .png, .tif, .tiff, .ppm, .pgm,\n"
    ".jpg and .jpeg pictures) and every threshold in LIST: embeds W, measures PSNR\n"
    "and SSIM of the marked image against the cover, extracts and measures NC\n"
    "against W, and runs every attack of 'ombrel attack'. Covers that are not\n"
    "1024x768 (without --fit) or cannot be read are reported and skipped; a COVER\n"
    "given that does not exist is refused before anything is written.\n"
    "Writes DIR/results.csv (a row per cover, threshold and attack), DIR/summary.md\n"
    "(mean, min and max per attack and threshold) and DIR/chart.png (mean NC per\n"
    "attack with min-max bars). Each cover's rows reach results.csv as soon as it\n"
    "is done, so a killed run keeps every finished cover. Ctrl-C, SIGTERM or SIGHUP\n"
    "stop after the covers under way and still write the summary and the chart\n"
    "(exit status 130, 143, 129). The tampers are scored against the 8x8 blocks\n"
    "they changed (tamper_precision and tamper_recall in the CSV, a table of them\n"
    "in the summary), and the collage takes its region from the next cover of the\n"
    "run (in sorted order, the last from the first), marked the same way with its\n"
    "own id; a run of one cover has no collage. DIR/manifest.txt records the\n"
    "settings, the shard, the covers and whether the run finished.\n"
    "\n"
    "  --watermark W       the 512x512 grey watermark to embed\n"
    "  -t, --threshold LIST  thresholds separated by commas (default 0)\n"
    "  --fit               fit covers of any size to 1024x768 and the watermark to\n"
    "                      512x512 grey, as embed --fit does; PSNR and SSIM are\n"
    "                      measured against the fitted cover\n"
    "  -o, --output DIR    the folder for the results\n"
    "  -j, --jobs N        covers evaluated at once (default: every core)\n"
    "  --file-list FILE    the covers listed in FILE too, one path a line (- reads\n"
    "                      standard input); blank lines and # lines are skipped\n"
    "  --shard K/N         only covers K, K+N, K+2N, ... (K from 1) of the covers in\n"
    "                      the sorted order of their paths; N shards hold every row\n"
    "                      of the whole run exactly once\n"
    "  --resume            go on with the run whose results.csv is in DIR: keep its\n"
    "                      finished covers, evaluate the rest (or start, if there is\n"
    "                      none); refused when its manifest names other settings,\n"
    "                      covers or shard\n"
    "  --overwrite         start afresh over an earlier run's results in DIR; without\n"
    "                      either, an existing DIR/results.csv is refused\n"
    "  --progress          when stderr is no terminal (a log), a line of progress\n"
    "                      every tenth of the run or every minute\n"
    "  --join              make the folders of every shard of one run (--shard K/N\n"
    "                      for each K) into DIR: results.csv byte for byte that of a\n"
    "                      single run, and the summary and chart over all rows.\n"
    "                      Refused when their settings or covers differ, a shard is\n"
    "                      missing or given twice, or an unfinished one lacks covers\n"
    "  --key-file KEY      keyed marks with the key in KEY, each cover's file name\n"
    "                      without the extension as its id (--id-from-name, implied;\n"
    "                      two covers that would share an id are warned of)\n"
    "  --passphrase        the key from a passphrase typed at the terminal\n"
    "  --passphrase-file F the key from the first line of F\n"
    "  --id TEXT           one id for every cover instead: the collage then shows\n"
    "                      what marks that share an id let through\n"
    "  --id-from-name      each cover's file name without the extension as its id\n"
    "KEY is one of --key-file KEY (read once; chmod 600), --passphrase (typed at the\n"
    "terminal) or --passphrase-file F (its first line; chmod 600), as for embed.\n";


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

// What the command line asks for.
struct Settings {
    std::string watermarkPath;
    std::filesystem::path dir;
    BatchOptions run;
    int shardK = 1, shardN = 1;
    std::vector<int> thresholds;
    Fit fit = Fit::Offered;
    bool resume = false, overwrite = false;
    KeyOption key;
};

Settings settingsOf(const Parsed &p) {
    using namespace options;
    if (p.positional.empty())
        throw UsageError("evaluate needs at least one COVER");
    Settings s;
    s.watermarkPath = required(p, kWatermark.name, "evaluate needs --watermark W");
    s.dir = required(p, kOutput.name, "evaluate needs -o DIR");
    s.run = batchOptions(p);
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
    s.resume = option(p, kResume.name).has_value();
    s.overwrite = option(p, kOverwrite.name).has_value();
    if (s.resume && s.overwrite)
        throw UsageError("--resume and --overwrite exclude each other");
    s.key = keyOption(p);
    // Its collage needs two ids: each cover has its own unless --id names one for all.
    if (!option(p, kId.name))
        s.key.ids.fromName = true;
    return s;
}

// The covers of one run and what each is measured against.
struct Job {
    const std::vector<std::string> &covers;
    const Surface &watermark;
    const std::vector<int> &thresholds;
    Fit fit;
    const BatchOptions &run;
    const KeyOption &key;
    const std::vector<std::string> &allCovers; // of every shard, sorted: the collages' donors
};

// Every cover's rows, in the covers' order (none for one skipped or not
// reached), and how many were done now and before.
struct Outcome {
    std::vector<EvaluationRow> rows;
    std::size_t finished = 0, kept = 0, skipped = 0;
};

// Marks, measures and attacks every cover not kept from an earlier run, on
// jobs threads; each finished cover's rows go to the table at once. A stop
// signal ends the run after the covers under way.
Outcome evaluateCovers(const Job &job, std::vector<std::vector<EvaluationRow>> results,
                       RowAppender &table, std::ostream &out, std::ostream &err) {
    const std::vector<int> &thresholds = job.thresholds;
    std::vector<MarkBits> marks;
    for (int t : thresholds)
        marks.emplace_back(job.watermark, t);

    Outcome outcome;
    std::vector<std::size_t> todo;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < job.covers.size(); ++i) {
        if (!results[i].empty()) {
            ++outcome.kept;
            continue;
        }
        todo.push_back(i);
        paths.push_back(job.covers[i]);
    }
    std::mutex lock;
    std::optional<std::string> tableFailure; // guarded by lock
    prepareTamperText(); // on this thread, before the workers tamper
    const BatchTotals totals = runBatch(paths, job.run, thresholds.size(), out, err, "skipped ",
                                        [&](std::size_t k, BatchItem &item) {
        const std::size_t i = todo[k];
        std::vector<EvaluationRow> rows;
        const Surface cover = coverSurface(job.covers[i], job.fit);
        const CoverMarking marking(job.key, job.covers[i]);
        const CollageDonor donor(job.allCovers, job.covers[i], job.fit, job.key);
        for (std::size_t t = 0; t < thresholds.size(); ++t) {
            const Image marked = marking.mark(cover, job.watermark, thresholds[t]);
            const double psnr = compareImages(cover.image(), marked)->psnr;
            const double ssim = structuralSimilarity(cover.image(), marked).value_or(0);
            const MarkToCheck check{job.watermark.image(), marks[t], marking.keystream()};
            for (const AttackScore &s : scoreAttacks(marked, check))
                rows.push_back({i, thresholds[t], psnr, ssim, s});
            if (const auto other = donor.marked(job.watermark, thresholds[t]))
                rows.push_back({i, thresholds[t], psnr, ssim, scoreCollage(marked, *other, check)});
            item.tick();
        }
        std::string text;
        for (const EvaluationRow &r : rows)
            text += csvRow(r, job.covers[i]);
        const std::lock_guard hold(lock);
        try {
            table.append(text);
        } catch (const Refusal &r) {
            // A table that cannot grow ends the run: its rows would be lost.
            if (!tableFailure)
                tableFailure = r.what();
            requestStop();
            return;
        }
        results[i] = std::move(rows);
    });
    if (tableFailure)
        throw Refusal(*tableFailure);
    outcome.finished = outcome.kept + totals.done;
    outcome.skipped = totals.failed;
    for (const auto &r : results)
        outcome.rows.insert(outcome.rows.end(), r.begin(), r.end());
    return outcome;
}

// What the manifest says of this run, not yet finished.
RunManifest manifestOf(const Settings &s, const std::vector<std::string> &all) {
    RunManifest m;
    m.version = std::string(text::kVersion);
    m.watermark = s.watermarkPath;
    m.thresholds = s.thresholds;
    m.fit = s.fit == Fit::On;
    m.attacks = attackNames(all.size() > 1);
    m.key = s.key.secret ? "yes" : "no";
    m.id = s.key.ids.fromName ? "from names" : "\"" + s.key.ids.id + "\"";
    m.shardK = s.shardK;
    m.shardN = s.shardN;
    m.covers = all;
    return m;
}

// A resumed run goes on only with the run its folder holds.
void checkResumable(const std::string &manifestPath, const RunManifest &now) {
    std::error_code ec;
    if (!std::filesystem::exists(manifestPath, ec))
        return; // a folder from before manifests: the table's own checks hold
    const RunManifest before = parseManifest(manifestPath, readText(manifestPath));
    std::optional<std::string> differs = settingsDiffer(before, now);
    if (!differs && before.shardK != now.shardK)
        differs = "shard " + std::to_string(before.shardK) + "/" + std::to_string(before.shardN) + " and " +
                  std::to_string(now.shardK) + "/" + std::to_string(now.shardN);
    if (differs)
        throw Refusal(manifestPath + ": the run there differs from this one: " + *differs +
                      " (--overwrite starts afresh)");
}

} // namespace

int evaluateCommand(const Parsed &p, std::ostream &out, std::ostream &err) {
    if (option(p, options::kJoin.name))
        return joinShards(p, out, err);
    const Settings settings = settingsOf(p);
    const EvaluationFiles files = evaluationFiles(settings.dir);
    // The run ends in a chart: one that cannot be drawn is said before the work.
    if (const auto problem = chartProblem())
        throw Refusal(files.chart + ": " + chartErrorText(*problem));
    const Surface watermark = watermarkSurface(settings.watermarkPath, settings.fit);

    std::vector<std::string> covers;
    const std::vector<std::string> all = listPictures(p.positional);
    for (auto i = static_cast<std::size_t>(settings.shardK - 1); i < all.size(); i += settings.shardN)
        covers.push_back(all[i]);
    // A shard may fall past the last cover of a small dataset; it then writes
    // an empty table, so a scheduler running every shard sees no failure.
    if (all.empty())
        throw Refusal("no cover to evaluate");
    warnOfSharedIds(all, settings.key, err);
    RunManifest manifest = manifestOf(settings, all);
    const std::string manifestPath = (settings.dir / kManifestName).string();

    // Hours of rows are never replaced by accident.
    std::vector<std::vector<EvaluationRow>> kept(covers.size());
    std::error_code ec;
    if (std::filesystem::exists(files.csv, ec)) {
        if (!settings.resume && !settings.overwrite)
            throw UsageError(files.csv + " exists: --resume goes on with that run, --overwrite starts afresh");
        if (settings.resume) {
            checkResumable(manifestPath, manifest);
            kept = earlierRows(files.csv, readText(files.csv), covers, settings.thresholds, all.size() > 1);
        }
    }
    // From here on a stop signal ends the run with the rows finished so far;
    // the folder appearing tells a watcher that the run has come this far.
    StopSignals guard;
    makeFolder(settings.dir);
    // The table as it stands: the kept covers' rows, then each cover's as it
    // is done; the end writes it again in the covers' order.
    std::string table = csvHeader();
    for (const auto &rows : kept)
        for (const EvaluationRow &r : rows)
            table += csvRow(r, covers[r.cover]);
    saveText(files.csv, table);
    saveText(manifestPath, manifestText(manifest));
    RowAppender appender(files.csv);

    const Outcome outcome =
        evaluateCovers({covers, watermark, settings.thresholds, settings.fit, settings.run,
                        settings.key, all},
                       std::move(kept), appender, out, err);
    writeEvaluationReport(files, outcome.rows, covers, settings.thresholds, outcome.finished);
    // Only a run that went through every cover may be joined without a word.
    if (!stopAsked()) {
        manifest.finished = true;
        saveText(manifestPath, manifestText(manifest));
    }

    out << "Evaluated " << outcome.finished << " of " << covers.size() << " covers";
    std::vector<std::string> notes;
    if (outcome.kept)
        notes.push_back(std::to_string(outcome.kept) + " kept from before");
    if (outcome.skipped)
        notes.push_back(std::to_string(outcome.skipped) + " skipped");
    for (std::size_t n = 0; n < notes.size(); ++n)
        out << (n ? ", " : " (") << notes[n] << (n + 1 == notes.size() ? ")" : "");
    out << ", " << outcome.rows.size() << " rows\nWrote " << files.csv << "\nWrote "
        << files.summary << "\nWrote " << files.chart << "\n";
    if (stopAsked()) {
        err << stopWord() << ": " << outcome.finished << " of " << covers.size()
            << " covers finished; " << files.csv << " holds their rows\n";
        return stopStatus();
    }
    return kDone;
}

} // namespace ombrel::cli
