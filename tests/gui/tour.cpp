// SPDX-License-Identifier: Apache-2.0
#include "gui/tour.h"

#include "gui/harness.h"

#include "imaging/colour.h"
#include "windows/frmcheck.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>

#include <stdexcept>

namespace ombrel::test {

namespace {

// A top-level window by name, as a user or an accessibility tool finds it;
// a window being unloaded may linger hidden under the same name.
QWidget &window(const char *name, bool visible) {
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(name) && (!visible || w->isVisible()))
            return *w;
    throw std::runtime_error(std::string(visible ? "window not shown: " : "no window ") + name);
}

} // namespace

QWidget &shownWindow(const char *name) { return window(name, true); }

QWidget &press(QWidget &window, const char *button, const char *opens) {
    click(window, button);
    return shownWindow(opens);
}

QWidget &embedFromStart(GuiRun &run, const TourStop &stop) {
    QWidget &main = run.start();
    clickFile(main, "File1", QStringLiteral("cover.bmp"));
    stop(main);
    QWidget &chooser = press(main, "cmdencode", "frmEncode1");
    clickFile(chooser, "File2", QStringLiteral("watermark.bmp"));
    stop(chooser);
    QWidget &embedding = press(chooser, "cmdnext", "frmencode2");
    stop(embedding);
    QWidget &success = press(embedding, "cmdnext", "frmencode3");
    stop(success);
    return success;
}

namespace {

void copySamples(const QString &samplesFolder, const GuiRun &run) {
    for (const char *name : {"cover.bmp", "watermark.bmp"}) {
        QFile::remove(run.homeFile(QLatin1String(name)));
        if (!QFile::copy(samplesFolder + QLatin1Char('/') + QLatin1String(name),
                         run.homeFile(QLatin1String(name))))
            throw std::runtime_error(std::string("cannot copy the sample ") + name);
    }
}

} // namespace

void tourWindows(const QString &samplesFolder, const TourStop &stop, const QString &home) {
    GuiRun run(home);
    copySamples(samplesFolder, run);
    run.dialogs.replies = {QStringLiteral("0")}; // the threshold
    run.dialogs.saveNames = {run.homeFile(QStringLiteral("watermarked.bmp"))};
    QWidget &success = embedFromStart(run, stop);

    // The progress window as it stands part-way through the embedding.
    QWidget &loading = window("frmloading", false);
    auto *bar = loading.findChild<QProgressBar *>(QStringLiteral("ProgressBar1"));
    bar->setMaximum(1000);
    bar->setValue(420);
    loading.show();
    stop(loading);
    loading.hide();

    QWidget &main = press(success, "cmdmain", "frmmain");
    QWidget &about = press(main, "cmdabout", "frmAbout");
    stop(about);
    click(about, "cmdOK");

    clickFile(main, "File1", QStringLiteral("watermarked.bmp"));
    QWidget &extraction = press(main, "cmddecode", "frmDecode1");
    stop(extraction);
    QWidget &extracted = press(extraction, "cmdnext", "frmdecode2");
    stop(extracted);
    extracted.hide();
}

void tourKeyScreen(const QString &samplesFolder, const TourStop &stop, const QString &home) {
    GuiRun run(home);
    for (const char *name : {"cover.bmp", "watermark.bmp"}) {
        const QString to = run.homeFile(QLatin1String(name));
        QFile::remove(to);
        if (!QFile::copy(samplesFolder + QLatin1Char('/') + QLatin1String(name), to))
            throw std::runtime_error(std::string("cannot copy the sample ") + name);
    }
    QWidget &main = run.start();
    clickFile(main, "File1", QStringLiteral("cover.bmp"));
    QWidget &chooser = press(main, "cmdencode", "frmEncode1");
    clickFile(chooser, "File2", QStringLiteral("watermark.bmp"));
    QWidget &embedding = press(chooser, "cmdnext", "frmencode2");
    QWidget &key = press(embedding, "cmdkey", "frmkey");
    const QString keyFile = run.homeFile(QStringLiteral("photos.key"));
    QFile::remove(keyFile);
    run.dialogs.saveNames = {keyFile};
    click(key, "cmdnewkey");
    if (auto *id = key.findChild<QLineEdit *>(QStringLiteral("txtid")))
        id->setText(QStringLiteral("holiday-7"));
    stop(key);
    QFile::remove(keyFile);
    click(key, "cmdcancel");
    embedding.hide();
}

void tourCheck(const QString &samplesFolder, const TourStop &stop, const QString &home) {
    GuiRun run(home);
    copySamples(samplesFolder, run);
    QFile::remove(run.homeFile(QStringLiteral("watermarked.bmp")));
    run.dialogs.replies = {QStringLiteral("0")};
    run.dialogs.saveNames = {run.homeFile(QStringLiteral("watermarked.bmp"))};
    QWidget &success = embedFromStart(run, [](QWidget &) {});

    // A region painted over, as in any image editor.
    Image changed = loadImage(run.homeFile(QStringLiteral("watermarked.bmp")));
    for (int y = 296; y < 424; ++y)
        for (int x = 560; x < 760; ++x)
            changed.at(x, y) = rgb(31, 63, 201);
    run.putBitmap(QStringLiteral("changed.bmp"), changed);

    QWidget &main = press(success, "cmdmain", "frmmain");
    clickFile(main, "File1", QStringLiteral("changed.bmp"));
    QWidget &check = press(main, "cmdcheck", "frmcheck");
    run.dialogs.openNames = {run.homeFile(QStringLiteral("watermark.bmp"))};
    click(check, "cmdwatermark");
    click(check, "cmdrun");
    if (!QTest::qWaitFor([&] { return !static_cast<windows::FrmCheck &>(check).busy(); }, 60000))
        throw std::runtime_error("the check did not end");
    stop(check);
    check.hide();
}

} // namespace ombrel::test
