// SPDX-License-Identifier: Apache-2.0
#include "cli/progress_bar.h"

#include <cmath>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace ombrel::cli {

namespace {

constexpr int kBarWidth = 30; // characters between the brackets

// Minutes and seconds, "4:05".
std::string clock(double seconds) {
    const long s = std::lround(seconds);
    std::ostringstream t;
    t << s / 60 << ":" << std::setw(2) << std::setfill('0') << s % 60;
    return t.str();
}

} // namespace

bool stderrIsTerminal() { return isatty(STDERR_FILENO); }

ProgressBar::ProgressBar(std::ostream &out, std::size_t total, bool drawn)
    : out_(out), total_(total), drawn_(drawn), started_(std::chrono::steady_clock::now()) {}

void ProgressBar::show(std::size_t done) {
    if (!drawn_)
        return;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    const double rate = seconds > 0 ? done / seconds : 0;
    const int filled = total_ ? static_cast<int>(kBarWidth * done / total_) : kBarWidth;
    std::ostringstream line;
    line << "\r[" << std::string(filled, '#') << std::string(kBarWidth - filled, ' ') << "] "
         << done << "/" << total_ << "  " << std::fixed << std::setprecision(2) << rate
         << " images/s  "
         << (rate > 0 ? clock((total_ - done) / rate) + " left" : std::string("--:-- left"));
    out_ << line.str() << std::flush;
}

void ProgressBar::say(std::string_view line) {
    clear();
    out_ << line << "\n";
}

void ProgressBar::clear() {
    if (drawn_)
        out_ << "\r\033[K";
}

} // namespace ombrel::cli
