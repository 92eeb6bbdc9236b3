// SPDX-License-Identifier: Apache-2.0
#pragma once

// How the tool writes figures and fields in its reports.

#include <optional>
#include <ostream>
#include <string>

namespace ombrel {
struct Quality;
}

namespace ombrel::cli {

// "45.12 dB", or "inf dB (identical)".
std::string formatDb(double psnr);
// PSNR, MSE and NC, a line each, after indent.
void printQuality(std::ostream &out, const Quality &q, const std::string &indent = "");
// A CSV field: as it is, or quoted when it holds a comma, a quote or a newline.
std::string csvField(const std::string &s);

// "inf" or the figure with two decimals; six for NC; shares as percentages.
std::string formatPsnr(double psnr);
std::string formatNc(const std::optional<double> &nc);
std::string formatShare(const std::optional<double> &share);
// A precision or recall with three decimals; empty where there is none.
std::string formatScore(const std::optional<double> &score);

} // namespace ombrel::cli
