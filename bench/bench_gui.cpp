// SPDX-License-Identifier: Apache-2.0
// The desktop program as a user waits for it: from OK in the threshold box
// to the save dialog on screen, with the dialogs scripted on the offscreen
// platform. What lies between is the whole embedding, both coefficient
// pictures and the three fixed files.
#include "gui/harness.h"
#include "imaging/sample_images.h"
#include "windows/frmencode1.h"
#include "windows/frmencode2.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include <chrono>

namespace ombrel {
namespace {

using Clock = std::chrono::steady_clock;

// Notes when the threshold box is answered and when the save dialog opens.
class TimedDialogs : public platform::ScriptedServices {
public:
    Clock::time_point answered, dialogShown;

    QString ask(const QString &prompt, const QString &title, const QString &reply) override {
        const QString answer = ScriptedServices::ask(prompt, title, reply);
        answered = Clock::now();
        return answer;
    }
    QString ask(const QString &filter, const QString &folder) override {
        dialogShown = Clock::now();
        return ScriptedServices::ask(filter, folder);
    }
};

void ThresholdOkToSaveDialog(benchmark::State &state) {
    test::GuiRun run;
    run.putBitmap(QStringLiteral("cover.bmp"), sampleCover());
    run.putBitmap(QStringLiteral("watermark.bmp"), sampleWatermark());
    QWidget &main = run.start();
    test::clickFile(main, "File1", QStringLiteral("cover.bmp"));
    test::click(main, "cmdencode");
    auto &chooser = test::registry().get<windows::FrmEncode1>();
    test::clickFile(chooser, "File2", QStringLiteral("watermark.bmp"));
    test::click(chooser, "cmdnext");
    auto &embedding = test::registry().get<windows::FrmEncode2>();

    // These dialogs stand in for the run's own while timing, home folder and all,
    // so the fixed files go into the run's scratch folder.
    TimedDialogs dialogs;
    dialogs.homeFolder = run.home();
    for (auto _ : state) {
        dialogs.replies = {QStringLiteral("0")};
        test::click(embedding, "cmdnext"); // the cancelled save dialog leads to the success screen
        state.SetIterationTime(std::chrono::duration<double>(dialogs.dialogShown - dialogs.answered).count());
    }
}
BENCHMARK(ThresholdOkToSaveDialog)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(21);

} // namespace
} // namespace ombrel

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
