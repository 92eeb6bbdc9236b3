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

ProgressStyle progressStyle(bool logAsked, bool terminal) {
    if (terminal)
        return ProgressStyle::Bar;
    return logAsked ? ProgressStyle::Log : ProgressStyle::None;
}

ProgressBar::ProgressBar(std::ostream &out, std::size_t total, ProgressStyle style)
    : ProgressBar(out, total, style, std::chrono::minutes(1)) {}

ProgressBar::ProgressBar(std::ostream &out, std::size_t total, ProgressStyle style,
                         std::chrono::steady_clock::duration logEvery)
    : out_(out), total_(total), style_(style), logEvery_(logEvery),
      started_(std::chrono::steady_clock::now()), logged_(started_) {}

void ProgressBar::show(std::size_t done) {
    if (style_ == ProgressStyle::None)
        return;
    const auto now = std::chrono::steady_clock::now();
    const std::size_t tenths = total_ ? 10 * done / total_ : 10;
    if (style_ == ProgressStyle::Log) {
        // A line for each tenth passed, or for a minute gone by with work done
        // in it; the runner calls this four times a second whatever happened.
        const bool tenth = tenths > loggedTenths_;
        const bool minute = now - logged_ >= logEvery_ && done > loggedDone_;
        if (!tenth && !minute)
            return;
        loggedTenths_ = tenths;
        loggedDone_ = done;
        logged_ = now;
    }
    const double seconds = std::chrono::duration<double>(now - started_).count();
    const double rate = seconds > 0 ? done / seconds : 0;
    std::ostringstream line;
    if (style_ == ProgressStyle::Bar) {
        const int filled = total_ ? static_cast<int>(kBarWidth * done / total_) : kBarWidth;
        line << "\r[" << std::string(filled, '#') << std::string(kBarWidth - filled, ' ') << "] ";
    } else {
        line << "progress: ";
    }
    line << done << "/" << total_ << "  " << std::fixed << std::setprecision(2) << rate << " images/s  "
         << (rate > 0 ? clock((total_ - done) / rate) + " left" : std::string("--:-- left"));
    if (style_ == ProgressStyle::Log)
        line << "\n";
    out_ << line.str() << std::flush;
}

void ProgressBar::done(std::size_t done) {
    if (style_ == ProgressStyle::Log)
        show(done);
}

void ProgressBar::say(std::string_view line) {
    clear();
    out_ << line << "\n";
}

void ProgressBar::clear() {
    if (style_ == ProgressStyle::Bar)
        out_ << "\r\033[K";
}

} // namespace ombrel::cli
