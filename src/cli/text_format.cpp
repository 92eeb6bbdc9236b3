// SPDX-License-Identifier: Apache-2.0
#include "cli/text_format.h"

#include "imaging/quality.h"

#include <cmath>
#include <iomanip>
#include <sstream>

namespace ombrel::cli {

namespace {

std::string fixed(double v, int decimals) {
    std::ostringstream s;
    s.setf(std::ios::fixed);
    s.precision(decimals);
    s << v;
    return s.str();
}

} // namespace

std::string formatDb(double psnr) {
    return std::isinf(psnr) ? "inf dB (identical)" : formatPsnr(psnr) + " dB";
}

void printQuality(std::ostream &out, const Quality &q, const std::string &indent) {
    out << indent << "PSNR: " << formatDb(q.psnr) << "\n"
        << indent << "MSE: " << std::fixed << std::setprecision(4) << q.mse << "\n"
        << indent << "NC: " << std::fixed << std::setprecision(6) << q.nc << "\n";
}

std::string csvField(const std::string &s) {
    if (s.find_first_of(",\"\n") == std::string::npos)
        return s;
    std::string quoted = "\"";
    for (char c : s)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string formatPsnr(double psnr) { return std::isinf(psnr) ? "inf" : fixed(psnr, 2); }
std::string formatNc(const std::optional<double> &nc) { return nc ? fixed(*nc, 6) : "-"; }
std::string formatScore(const std::optional<double> &score) { return score ? fixed(*score, 3) : ""; }
std::string formatShare(const std::optional<double> &share) {
    return share ? fixed(100.0 * *share, 2) + " %" : "-";
}

} // namespace ombrel::cli
