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

// The CSV's first line, and one row's line, both ending in a newline.
std::string csvHeader();
std::string csvRow(const EvaluationRow &row, const std::string &coverPath);

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
