// SPDX-License-Identifier: Apache-2.0
#include "cli/batch.h"

#include "cli/cli.h"
#include "cli/options.h"
#include "cli/progress_bar.h"
#include "imaging/picture_formats.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <ostream>
#include <thread>
#include <vector>

namespace ombrel::cli {

namespace {

// The signal that asked for the stop, or 0; -1 for requestStop.
std::atomic<int> stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void onStopSignal(int number) { stopSignal = number; }

static_assert(128 + SIGHUP == kHungUp && 128 + SIGINT == kInterrupted &&
              128 + SIGTERM == kTerminated);

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous[std::size(kStopSignals)];

} // namespace

StopSignals::StopSignals() {
    stopSignal = 0;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i)
        sigaction(kStopSignals[i], &action, &previous[i]);
}

StopSignals::~StopSignals() {
    for (std::size_t i = 0; i < std::size(kStopSignals); ++i)
        sigaction(kStopSignals[i], &previous[i], nullptr);
}

bool stopAsked() { return stopSignal != 0; }

void requestStop() { stopSignal = -1; }

int stopStatus() {
    const int number = stopSignal;
    return number > 0 ? 128 + number : kRefused;
}

std::string_view stopWord() {
    switch (stopSignal) {
    case SIGTERM:
        return "terminated";
    case SIGHUP:
        return "hung up";
    default:
        return "interrupted";
    }
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

int jobsOption(const Parsed &p) {
    const auto jobs = option(p, options::kJobs.name);
    return jobs ? wholeNumber(*jobs, "-j")
                : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

BatchOptions batchOptions(const Parsed &p) {
    return {jobsOption(p), option(p, options::kProgress.name).has_value()};
}

void checkOutputFolder(const std::string &folder, std::string_view option) {
    std::error_code ec;
    if (!isPictureName(folder) || std::filesystem::is_directory(folder, ec))
        return;
    throw UsageError(std::string(option) + " needs a folder for many files, not the picture name " + folder);
}

BatchTotals runBatch(const std::vector<std::string> &files, const BatchOptions &run, std::size_t unitsEach,
                     std::ostream &out,
                     std::ostream &err, std::string_view failurePrefix,
                     const std::function<void(std::size_t, BatchItem &)> &work) {
    const std::size_t count = files.size();
    std::atomic<std::size_t> next{0};
    std::mutex lock;
    std::condition_variable changed;
    // Guarded by lock, as is the bar.
    std::size_t unitsDone = 0, handled = 0;
    BatchTotals totals;
    ProgressBar bar(err, count * unitsEach, progressStyle(run.logProgress));

    class Item final : public BatchItem {
    public:
        Item(std::mutex &lock, std::condition_variable &changed, std::size_t &unitsDone,
             ProgressBar &bar, std::ostream &out)
            : lock_(lock), changed_(changed), unitsDone_(unitsDone), bar_(bar), out_(out) {}
        void tick() override {
            const std::lock_guard hold(lock_);
            ++unitsDone_;
            ++ticks;
            bar_.done(unitsDone_);
            changed_.notify_all();
        }
        void say(const std::string &line) override {
            const std::lock_guard hold(lock_);
            bar_.clear();
            out_ << line << "\n" << std::flush;
        }
        std::size_t ticks = 0;

    private:
        std::mutex &lock_;
        std::condition_variable &changed_;
        std::size_t &unitsDone_;
        ProgressBar &bar_;
        std::ostream &out_;
    };

    auto worker = [&] {
        for (std::size_t i; !stopAsked() && (i = next++) < count;) {
            Item item(lock, changed, unitsDone, bar, out);
            std::string failure;
            try {
                work(i, item);
            } catch (const Refusal &r) {
                failure = r.what();
            } catch (const std::exception &e) {
                failure = files[i] + ": " + e.what();
            }
            const std::lock_guard hold(lock);
            // A failed file counts as done for the bar: nothing more comes of it.
            unitsDone += unitsEach - std::min(unitsEach, item.ticks);
            bar.done(unitsDone);
            if (failure.empty()) {
                ++totals.done;
            } else {
                bar.say(std::string(failurePrefix) + failure);
                ++totals.failed;
            }
            ++handled;
            changed.notify_all();
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t w = 0; w < std::min<std::size_t>(static_cast<std::size_t>(run.jobs), count); ++w)
        threads.emplace_back(worker);
    {
        std::unique_lock hold(lock);
        while (handled < count && !stopAsked()) {
            changed.wait_for(hold, std::chrono::milliseconds(250));
            bar.show(unitsDone);
        }
    }
    for (auto &t : threads)
        t.join();
    bar.show(unitsDone); // a log's last line says where the run ended
    bar.clear();
    return totals;
}

int batchStatus(const BatchTotals &totals, std::size_t count, std::string_view what,
                std::ostream &err) {
    if (stopAsked()) {
        err << stopWord() << ": " << totals.done << " of " << count << " " << what << "\n";
        return stopStatus();
    }
    return totals.failed ? kRefused : kDone;
}

} // namespace ombrel::cli
