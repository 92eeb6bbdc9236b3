// SPDX-License-Identifier: Apache-2.0
#include "cli/evaluation_report.h"

#include "cli/chart.h"
#include "cli/cli.h"
#include "cli/pictures.h"
#include "cli/text_format.h"
#include "imaging/file_replacement.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include <fcntl.h>
#include <unistd.h>

namespace ombrel::cli {

namespace {

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

// How verify's altered blocks matched the blocks a tamper changed.
struct TamperSpread {
    Spread precision, recall;
    int found = 0, runs = 0;
};

// The attacks a run's rows hold, in the order of the tables: the list, then
// the collage when there was a second cover to take it from.
struct ReportedAttack {
    std::string_view name;
    bool tamper;
};

// The attacks a cover's rows hold at each threshold: the list, and the
// collage when the run has a second cover to take it from.
std::vector<ReportedAttack> expectedAttacks(bool withCollage) {
    std::vector<ReportedAttack> names;
    for (const Attack &a : attacks())
        names.push_back({a.name, a.tamper});
    if (withCollage)
        names.push_back({kCollage, true});
    return names;
}

std::vector<ReportedAttack> reportedAttacks(const std::vector<EvaluationRow> &rows) {
    return expectedAttacks(
        std::any_of(rows.begin(), rows.end(), [](const EvaluationRow &r) { return r.score.attack == kCollage; }));
}

struct Summary {
    std::vector<int> thresholds;
    std::vector<ReportedAttack> attacks;
    // [threshold][attack]
    std::vector<std::vector<Spread>> nc, bits, psnr;
    std::vector<std::vector<TamperSpread>> tamper;
    std::vector<Spread> embedPsnr, embedSsim;
};

Summary summarise(const std::vector<EvaluationRow> &rows, const std::vector<int> &thresholds) {
    const std::vector<ReportedAttack> names = reportedAttacks(rows);
    const std::size_t attackCount = names.size();
    Summary s{thresholds,
              names,
              std::vector(thresholds.size(), std::vector<Spread>(attackCount)),
              std::vector(thresholds.size(), std::vector<Spread>(attackCount)),
              std::vector(thresholds.size(), std::vector<Spread>(attackCount)),
              std::vector(thresholds.size(), std::vector<TamperSpread>(attackCount)),
              std::vector<Spread>(thresholds.size()),
              std::vector<Spread>(thresholds.size())};
    for (const EvaluationRow &r : rows) {
        const auto t = static_cast<std::size_t>(
            std::find(thresholds.begin(), thresholds.end(), r.threshold) - thresholds.begin());
        std::size_t a = 0;
        while (names[a].name != r.score.attack)
            ++a;
        s.nc[t][a].add(*r.score.nc);
        s.bits[t][a].add(*r.score.bitsAgreeing);
        s.psnr[t][a].add(r.score.psnr);
        if (names[a].tamper) {
            TamperSpread &tamper = s.tamper[t][a];
            if (r.score.tamperPrecision)
                tamper.precision.add(*r.score.tamperPrecision);
            if (r.score.tamperRecall)
                tamper.recall.add(*r.score.tamperRecall);
            tamper.found += r.score.tamperFound;
            ++tamper.runs;
        }
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
        for (std::size_t a = 0; a < s.attacks.size(); ++a)
            md << "| " << s.attacks[a].name << " | " << three(s.nc[t][a], nc) << " | "
               << three(s.bits[t][a], share) << " | " << three(s.psnr[t][a], db) << " |\n";
        md << "\nTampers, against the 8x8 blocks in which a pixel changed: mean precision and\n"
              "recall over the covers, and how often verify said \"altered\".\n\n"
           << "| tamper | precision | recall | altered |\n"
           << "|---|---:|---:|---:|\n";
        auto mean = [](const Spread &sp) { return sp.n ? formatScore(sp.mean()) : std::string("-"); };
        for (std::size_t a = 0; a < s.attacks.size(); ++a)
            if (const TamperSpread &tamper = s.tamper[t][a]; s.attacks[a].tamper)
                md << "| " << s.attacks[a].name << " | " << mean(tamper.precision) << " | "
                   << mean(tamper.recall) << " | " << tamper.found << " of " << tamper.runs << " |\n";
    }
    return md.str();
}

// Mean NC per attack, a series per threshold, with min-max ranges.
std::vector<ChartSeries> ncSeries(const Summary &summary) {
    std::vector<ChartSeries> series;
    for (std::size_t t = 0; t < summary.thresholds.size(); ++t) {
        ChartSeries s{"threshold " + std::to_string(summary.thresholds[t]), {}, {}, {}};
        for (const Spread &sp : summary.nc[t]) {
            s.values.push_back(sp.mean());
            s.low.push_back(sp.n ? sp.min : 0);
            s.high.push_back(sp.n ? sp.max : 0);
        }
        series.push_back(std::move(s));
    }
    return series;
}

} // namespace

std::vector<std::string> attackNames(bool withCollage) {
    std::vector<std::string> names;
    for (const ReportedAttack &a : expectedAttacks(withCollage))
        names.emplace_back(a.name);
    return names;
}

std::string csvHeader() {
    return "cover,threshold,embed_psnr_db,embed_ssim,attack,attack_psnr_db,nc,bits_agreeing,"
           "tamper_precision,tamper_recall\n";
}

std::string csvRow(const EvaluationRow &r, const std::string &coverPath) {
    std::ostringstream csv;
    csv << csvField(coverPath) << "," << r.threshold << "," << formatPsnr(r.embedPsnr) << ","
        << formatNc(r.embedSsim) << "," << r.score.attack << "," << formatPsnr(r.score.psnr)
        << "," << formatNc(r.score.nc) << "," << formatNc(r.score.bitsAgreeing) << ","
        << formatScore(r.score.tamperPrecision) << "," << formatScore(r.score.tamperRecall) << "\n";
    return csv.str();
}

namespace {

// The records of a CSV text, fields unquoted; a last record without its
// newline is left out, as one the writer did not finish. A line may end in
// CRLF, as one saved by a spreadsheet on Windows does.
std::vector<std::vector<std::string>> csvRecords(std::string_view text) {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c != '"')
                field += c;
            else if (i + 1 < text.size() && text[i + 1] == '"')
                field += text[++i];
            else
                quoted = false;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            record.push_back(std::move(field));
            field.clear();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        } else if (c == '\n') {
            record.push_back(std::move(field));
            field.clear();
            records.push_back(std::move(record));
            record.clear();
        } else {
            field += c;
        }
    }
    return records;
}

// A field as a refusal shows it: on one line and short, whatever the file
// holds (a megabyte of one field, NUL bytes, a quoted newline).
std::string shown(const std::string &field) {
    constexpr std::size_t kLongest = 80;
    std::string out;
    for (std::size_t i = 0; i < field.size() && i < kLongest; ++i) {
        const auto c = static_cast<unsigned char>(field[i]);
        out += c < 0x20 || c == 0x7f ? '?' : field[i];
    }
    if (field.size() > kLongest) {
        // Cut before a character whose UTF-8 bytes would be split.
        while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xc0) == 0x80)
            out.pop_back();
        if (!out.empty() && static_cast<unsigned char>(out.back()) >= 0xc0)
            out.pop_back();
        out += "...";
    }
    return out;
}

// A number as csvRow writes it; never NaN, and infinite only where
// infinite is true (a PSNR of identical pictures).
std::optional<double> number(const std::string &s, bool infinite = false) {
    if (s.empty())
        return std::nullopt;
    char *end = nullptr;
    const double value = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || std::isnan(value) || (std::isinf(value) && !infinite))
        return std::nullopt;
    return value;
}

// Columns of a row, as csvRow writes them.
enum Column {
    kCover, kThreshold, kEmbedPsnr, kEmbedSsim, kAttack, kAttackPsnr, kNc, kBits,
    kTamperPrecision, kTamperRecall, kColumns
};


} // namespace

std::vector<std::vector<EvaluationRow>> earlierRows(const std::string &csvPath,
                                                    const std::string &text,
                                                    const std::vector<std::string> &covers,
                                                    const std::vector<int> &thresholds,
                                                    bool withCollage) {
    const std::vector<ReportedAttack> names = expectedAttacks(withCollage);
    const std::string header = csvHeader();
    const std::string_view headerLine = std::string_view(header).substr(0, header.size() - 1);
    const std::size_t firstEnd = text.find('\n');
    std::string_view first = std::string_view(text).substr(0, firstEnd);
    if (first.ends_with('\r'))
        first.remove_suffix(1);
    if (firstEnd == std::string::npos || first != headerLine)
        throw Refusal(csvPath + ": not the table of such a run: its first line is not \"" +
                      std::string(headerLine) + "\"");
    std::map<std::string, std::size_t, std::less<>> coverIndex;
    for (std::size_t i = 0; i < covers.size(); ++i)
        coverIndex.emplace(covers[i], i);

    std::vector<std::vector<EvaluationRow>> rows(covers.size());
    // [cover] the (threshold, attack) pairs seen, to find a cover's gaps and repeats
    std::vector<std::set<std::pair<int, std::string_view>>> seen(covers.size());
    std::vector<bool> damaged(covers.size(), false);
    const auto records = csvRecords(std::string_view(text).substr(firstEnd + 1));
    for (const auto &f : records) {
        if (f.size() != kColumns)
            continue; // a row cut short or run together: its cover is done again
        const auto cover = coverIndex.find(f[kCover]);
        if (cover == coverIndex.end())
            throw Refusal(csvPath + ": holds rows of " + shown(f[kCover]) + ", which this run does not evaluate");
        const auto threshold = number(f[kThreshold]);
        if (!threshold || std::find(thresholds.begin(), thresholds.end(), *threshold) == thresholds.end())
            throw Refusal(csvPath + ": holds rows at threshold " + shown(f[kThreshold]) +
                          ", which this run does not use");
        const auto attack = std::find_if(names.begin(), names.end(),
                                         [&](const ReportedAttack &a) { return a.name == f[kAttack]; });
        if (attack == names.end())
            throw Refusal(csvPath + ": holds rows of the attack " + shown(f[kAttack]) +
                          ", which this run does not know");
        const std::size_t i = cover->second;
        const auto embedPsnr = number(f[kEmbedPsnr], true), embedSsim = number(f[kEmbedSsim]),
                   attackPsnr = number(f[kAttackPsnr], true), nc = number(f[kNc]), bits = number(f[kBits]);
        // A score that is there must read as one; an empty one is a score verify had none of.
        const bool scoresRead = (f[kTamperPrecision].empty() || number(f[kTamperPrecision])) &&
                                (f[kTamperRecall].empty() || number(f[kTamperRecall]));
        if (!embedPsnr || !embedSsim || !attackPsnr || !nc || !bits || !scoresRead ||
            !seen[i].emplace(static_cast<int>(*threshold), attack->name).second) {
            damaged[i] = true;
            continue;
        }
        AttackScore score{attack->name, *attackPsnr, *nc, *bits, {}, {}, false};
        if (attack->tamper) {
            if (!f[kTamperPrecision].empty())
                score.tamperPrecision = number(f[kTamperPrecision]);
            if (!f[kTamperRecall].empty())
                score.tamperRecall = number(f[kTamperRecall]);
            // Every carried bit agrees exactly when verify said "intact".
            score.tamperFound = *bits < 1.0;
        }
        rows[i].push_back({i, static_cast<int>(*threshold), *embedPsnr, *embedSsim, score});
    }
    for (std::size_t i = 0; i < covers.size(); ++i) {
        if (damaged[i] || rows[i].size() != thresholds.size() * names.size()) {
            rows[i].clear();
            continue;
        }
        // In the order this run would write them: thresholds as asked, attacks as listed.
        auto rank = [&](const EvaluationRow &r) {
            const auto t = std::find(thresholds.begin(), thresholds.end(), r.threshold) - thresholds.begin();
            const auto a = std::find_if(names.begin(), names.end(),
                                        [&](const ReportedAttack &x) { return x.name == r.score.attack; }) -
                           names.begin();
            return std::pair{t, a};
        };
        std::sort(rows[i].begin(), rows[i].end(),
                  [&](const EvaluationRow &a, const EvaluationRow &b) { return rank(a) < rank(b); });
    }
    return rows;
}

RowAppender::RowAppender(const std::string &path)
    : path_(path), fd_(::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC)) {
    if (fd_ < 0)
        throw Refusal(path + ": cannot be written: " + std::strerror(errno));
}

RowAppender::~RowAppender() { ::close(fd_); }

void RowAppender::append(const std::string &rows) {
    // One write for all of a cover's rows; a short one (a full disk) goes on
    // where it stopped, and the resume drops what it could not finish.
    if (!writeAll(fd_, rows) || ::fdatasync(fd_) != 0)
        throw Refusal(path_ + ": cannot be written: " + std::strerror(errno));
}

EvaluationFiles evaluationFiles(const std::filesystem::path &dir) {
    return {(dir / "results.csv").string(), (dir / "summary.md").string(),
            (dir / "chart.png").string()};
}

void writeEvaluationReport(const EvaluationFiles &files, const std::vector<EvaluationRow> &rows,
                           const std::vector<std::string> &covers,
                           const std::vector<int> &thresholds, std::size_t coversDone) {
    std::string csv = csvHeader();
    for (const EvaluationRow &r : rows)
        csv += csvRow(r, covers[r.cover]);
    saveText(files.csv, csv);
    const Summary summary = summarise(rows, thresholds);
    saveText(files.summary, summaryMarkdown(summary, coversDone));
    std::vector<std::string> names;
    for (const ReportedAttack &a : summary.attacks)
        names.emplace_back(a.name);
    if (const auto error = saveNcChart(files.chart, "NC per attack: mean, min and max over the covers",
                                       names, ncSeries(summary)))
        throw Refusal(files.chart + ": " + chartErrorText(*error));
}

} // namespace ombrel::cli
