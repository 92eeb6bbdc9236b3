// SPDX-License-Identifier: Apache-2.0
// evaluate --join: the shards of one run, each evaluated in its own folder
// (on its own host), made into the table, summary and chart of that run.

#include "cli/chart.h"
#include "cli/cli.h"
#include "cli/evaluation_manifest.h"
#include "cli/evaluation_report.h"
#include "cli/options.h"
#include "cli/pictures.h"

#include <filesystem>
#include <ostream>

namespace ombrel::cli {

namespace {

struct Shard {
    std::string dir;
    RunManifest manifest;
};

std::string shardName(const RunManifest &m) { return std::to_string(m.shardK) + "/" + std::to_string(m.shardN); }

// Up to a few of the names, and how many more: a refusal stays one line.
std::string someOf(const std::vector<std::string> &names) {
    constexpr std::size_t kShown = 5;
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < kShown; ++i)
        text += (i ? ", " : "") + names[i];
    if (names.size() > kShown)
        text += " and " + std::to_string(names.size() - kShown) + " more";
    return text;
}

} // namespace

int joinShards(const Parsed &p, std::ostream &out, std::ostream &) {
    using namespace options;
    // Everything else was settled when the shards ran.
    for (const auto &[name, values] : p.options)
        if (name != kJoin.name && name != kOutput.name && name != kOverwrite.name)
            throw UsageError("--join takes the shards' folders, -o OUT and --overwrite alone");
    if (p.positional.empty())
        throw UsageError("--join needs the folders of the shards");
    const std::filesystem::path outDir = required(p, kOutput.name, "evaluate --join needs -o OUT");
    const EvaluationFiles files = evaluationFiles(outDir);
    if (const auto problem = chartProblem())
        throw Refusal(files.chart + ": " + chartErrorText(*problem));

    std::vector<Shard> shards;
    for (const std::string &dir : p.positional) {
        const std::string path = (std::filesystem::path(dir) / kManifestName).string();
        std::error_code ec;
        if (!std::filesystem::exists(path, ec))
            throw Refusal(dir + ": holds no " + kManifestName + ": not the folder of an evaluate run");
        shards.push_back({dir, parseManifest(path, readText(path))});
        if (std::filesystem::equivalent(dir, outDir, ec))
            throw Refusal(files.csv + ": would replace the rows of the shard in " + dir);
    }
    const RunManifest &run = shards.front().manifest;
    for (const Shard &s : shards)
        if (const auto differs = settingsDiffer(run, s.manifest))
            throw Refusal(shards.front().dir + " and " + s.dir + " are shards of other runs: " + *differs);

    // Each cover belongs to one shard; a shard given twice shows here.
    std::vector<const Shard *> owner(run.covers.size(), nullptr);
    std::vector<bool> present(static_cast<std::size_t>(run.shardN), false);
    for (const Shard &s : shards) {
        present[static_cast<std::size_t>(s.manifest.shardK - 1)] = true;
        for (std::size_t i = 0; i < run.covers.size(); ++i) {
            if (!s.manifest.holds(i))
                continue;
            if (owner[i])
                throw Refusal("the cover " + run.covers[i] + " is in two shards: " + owner[i]->dir + " and " +
                              s.dir + " (both shard " + shardName(s.manifest) + ")");
            owner[i] = &s;
        }
    }
    for (std::size_t k = 0; k < present.size(); ++k)
        if (!present[k])
            throw Refusal("shard " + std::to_string(k + 1) + "/" + std::to_string(run.shardN) +
                          " is missing: --join needs the folders of all " + std::to_string(run.shardN) + " shards");

    std::error_code ec;
    if (std::filesystem::exists(files.csv, ec) && !option(p, kOverwrite.name))
        throw UsageError(files.csv + " exists: --overwrite replaces it");

    const bool withCollage = run.covers.size() > 1;
    std::vector<std::vector<EvaluationRow>> rows(run.covers.size());
    for (const Shard &s : shards) {
        const std::string csv = evaluationFiles(s.dir).csv;
        std::vector<std::vector<EvaluationRow>> found =
            earlierRows(csv, readText(csv), run.covers, run.thresholds, withCollage);
        std::vector<std::string> lacking;
        for (std::size_t i = 0; i < run.covers.size(); ++i) {
            if (!found[i].empty() && owner[i] != &s)
                throw Refusal(csv + ": holds rows of " + run.covers[i] + ", which is in the shard in " +
                              owner[i]->dir);
            if (owner[i] == &s && found[i].empty())
                lacking.push_back(run.covers[i]);
            if (owner[i] == &s)
                rows[i] = std::move(found[i]);
        }
        // A finished shard's covers without rows were skipped, as one run skips them.
        if (!s.manifest.finished && !lacking.empty())
            throw Refusal(s.dir + ": shard " + shardName(s.manifest) + " is unfinished: it lacks " +
                          std::to_string(lacking.size()) + " of its covers: " + someOf(lacking));
    }

    std::vector<EvaluationRow> all;
    std::size_t coversDone = 0;
    for (const auto &coverRows : rows) {
        coversDone += coverRows.empty() ? 0 : 1;
        all.insert(all.end(), coverRows.begin(), coverRows.end());
    }
    makeFolder(outDir);
    writeEvaluationReport(files, all, run.covers, run.thresholds, coversDone);
    // The joined folder reads as one whole run's.
    RunManifest whole = run;
    whole.shardK = whole.shardN = 1;
    whole.finished = true;
    saveText((outDir / kManifestName).string(), manifestText(whole));

    out << "Joined " << shards.size() << " shards: " << coversDone << " of " << run.covers.size()
        << " covers, " << all.size() << " rows\nWrote " << files.csv << "\nWrote " << files.summary
        << "\nWrote " << files.chart << "\n";
    return kDone;
}

} // namespace ombrel::cli
