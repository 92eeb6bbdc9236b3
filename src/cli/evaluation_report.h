// SPDX-License-Identifier: Apache-2.0
#pragma once

// What evaluate writes: a CSV row per cover, threshold and attack, a Markdown
// summary of them, and a chart of NC per attack.

#include "cli/attacks.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace ombrel::cli {

struct EvaluationRow {
    std::size_t cover; // index into the cover list
    int threshold;
    double embedPsnr, embedSsim;
    AttackScore score;
};

// The attacks a cover's rows hold at each threshold, in the table's order:
// the list, and the collage when the run has a second cover.
std::vector<std::string> attackNames(bool withCollage);

// The CSV's first line, and one row's line, both ending in a newline.
std::string csvHeader();
std::string csvRow(const EvaluationRow &row, const std::string &coverPath);

// The rows an earlier run left in a results.csv (its whole text), by cover
// of this run: a cover's rows are kept only when they hold every threshold
// and attack once, so a cover cut short is done again; a last line the
// writer did not finish is dropped. Refused (naming csvPath) when the header
// differs, or a row names a cover, threshold or attack this run has not.
std::vector<std::vector<EvaluationRow>> earlierRows(const std::string &csvPath,
                                                    const std::string &text,
                                                    const std::vector<std::string> &covers,
                                                    const std::vector<int> &thresholds,
                                                    bool withCollage);

// The one file that grows while a run goes on: each call adds one cover's
// rows with a single write, forced to disk, so a run killed at any moment
// leaves whole covers and never half a row.
class RowAppender {
public:
    explicit RowAppender(const std::string &path);
    ~RowAppender();
    RowAppender(const RowAppender &) = delete;
    RowAppender &operator=(const RowAppender &) = delete;
    // A refusal naming the file when the rows could not be written.
    void append(const std::string &rows);

private:
    std::string path_;
    int fd_;
};

// The files of a run in dir.
struct EvaluationFiles {
    std::string csv, summary, chart;
};
EvaluationFiles evaluationFiles(const std::filesystem::path &dir);

// Writes the CSV, the summary of coversDone finished covers and the chart, in
// that order; a refusal naming the file that could not be written.
void writeEvaluationReport(const EvaluationFiles &files, const std::vector<EvaluationRow> &rows,
                           const std::vector<std::string> &covers,
                           const std::vector<int> &thresholds, std::size_t coversDone);

} // namespace ombrel::cli
