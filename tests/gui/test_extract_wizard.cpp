// SPDX-License-Identifier: Apache-2.0
#include "cli/cli.h"
#include "gui/harness.h"
#include "imaging/quality.h"
#include "imaging/sample_images.h"
#include "text/texts.h"
#include "windows/controls.h"
#include "windows/frmabout.h"
#include "windows/frmdecode1.h"
#include "windows/frmdecode2.h"
#include "windows/frmencode1.h"
#include "windows/frmencode2.h"
#include "windows/frmencode3.h"
#include "windows/frmloading.h"
#include "windows/frmmain.h"
#include "windows/session.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QTest>

#include <sstream>
#include <utility>

using namespace ombrel;
using namespace ombrel::windows;
using platform::Answer;
using platform::Buttons;
using test::registry;

namespace {

// Writes a watermarked image with the tool, as a user would have from an
// earlier run.
QString putWatermarked(test::GuiRun &run) {
    run.putBitmap(QStringLiteral("cover.bmp"), sampleCover());
    run.putBitmap(QStringLiteral("emblem.bmp"), sampleWatermark());
    std::ostringstream out, err;
    const QString marked = run.homeFile(QStringLiteral("marked.bmp"));
    if (cli::run({"embed", run.homeFile("cover.bmp").toStdString(), run.homeFile("emblem.bmp").toStdString(),
                  "-o", marked.toStdString()}, out, err) != 0)
        qFatal("embedding failed");
    return marked;
}

FrmDecode1 &toExtraction(test::GuiRun &run, const QString &file) {
    QWidget &main = run.start();
    test::clickFile(main, "File1", file);
    test::click(main, "cmddecode");
    return registry().get<FrmDecode1>();
}

Image toolExtract(test::GuiRun &run, const QString &image) {
    std::ostringstream out, err;
    const QString path = run.homeFile(QStringLiteral("tool-extracted.bmp"));
    if (cli::run({"extract", image.toStdString(), "-o", path.toStdString()}, out, err) != 0)
        qFatal("extraction failed");
    return test::loadImage(path);
}

} // namespace

class ExtractWizard : public QObject {
    Q_OBJECT
private slots:
    // What the test left on screen, as its run ended and before the reset;
    // taken, so a failure is reported once.
    void cleanup() { QCOMPARE(std::exchange(test::leftovers(), {}), QStringList()); }

    void extractionMatchesTheTool() {
        test::GuiRun run;
        const QString marked = putWatermarked(run);
        FrmDecode1 &screen = toExtraction(run, QStringLiteral("marked.bmp"));
        QVERIFY(screen.isVisible());
        QCOMPARE(screen.windowTitle(), QStringLiteral("Extracting the watermark"));
        QVERIFY(test::child<ImageBox>(screen, "imgmod").hasPicture());
        QVERIFY(!registry().get<FrmLoading>().isVisible());
        QCOMPARE(screen.findChild<QPushButton *>("cmdnext")->text(), QStringLiteral("Next   >>"));

        test::click(screen, "cmdnext");
        QProgressBar *bar = &test::child<QProgressBar>(registry().get<FrmLoading>(), "ProgressBar1");
        QCOMPARE(bar->value(), 2560);
        QCOMPARE(bar->maximum(), 2560);
        FrmDecode2 &result = registry().get<FrmDecode2>();
        QCOMPARE(test::visibleWindows(), QStringList{"frmdecode2"});
        QVERIFY(test::child<ImageBox>(result, "imgwater").hasPicture());
        const Image first = test::loadImage(run.homeFile(QStringLiteral("watermark.bmp")));
        QVERIFY(first == toolExtract(run, marked));

        // Back and again: the same picture once more.
        QFile::remove(run.homeFile(QStringLiteral("watermark.bmp")));
        test::click(result, "cmdback");
        QVERIFY(registry().get<FrmDecode1>().isVisible());
        test::click(registry().get<FrmDecode1>(), "cmdnext");
        QVERIFY(test::loadImage(run.homeFile(QStringLiteral("watermark.bmp"))) == first);

        test::click(registry().get<FrmDecode2>(), "cmdmain");
        FrmMain &main = registry().get<FrmMain>();
        QVERIFY(main.isVisible());
        QCOMPARE(run.session.cover.path, QString());
        main.hide();
    }

    void backFromTheExtractionScreen() {
        test::GuiRun run;
        putWatermarked(run);
        FrmDecode1 &screen = toExtraction(run, QStringLiteral("marked.bmp"));
        test::click(screen, "cmdback");
        QCOMPARE(test::visibleWindows(), QStringList{"frmmain"});
        QCOMPARE(test::child<QLabel>(registry().get<FrmMain>(), "lblpro").text(), QString());
        registry().get<FrmMain>().hide();
    }

    void savingTheExtractedWatermark() {
        test::GuiRun run;
        putWatermarked(run);
        test::click(toExtraction(run, QStringLiteral("marked.bmp")), "cmdnext");
        FrmDecode2 &result = registry().get<FrmDecode2>();
        run.dialogs.messages.clear();
        const QString mine = run.homeFile(QStringLiteral("mine.bmp"));
        QFile(mine).open(QIODevice::WriteOnly);
        run.dialogs.saveNames = {mine, mine};
        run.dialogs.answers = {Answer::No, Answer::Yes};
        test::click(result, "cmdsave");
        QCOMPARE(run.dialogs.filters, (QStringList{"BMP file(*.bmp)|*.bmp|", "BMP file(*.bmp)|*.bmp|"}));
        QCOMPARE(test::titles(run.dialogs), (QStringList{"File already exists", "File already exists"}));
        QCOMPARE(test::prompts(run.dialogs)[0],
                 QStringLiteral("The file already exists, do you want to overwrite it ?"));
        QVERIFY(test::loadImage(mine) == test::loadImage(run.homeFile(QStringLiteral("watermark.bmp"))));

        // A save that cannot be written is reported, naming the file.
        run.dialogs.messages.clear();
        const QString bad = run.homeFile(QStringLiteral("missing/w.bmp"));
        run.dialogs.saveNames = {bad};
        test::click(result, "cmdsave");
        QCOMPARE(run.dialogs.messages.size(), 1);
        QVERIFY(run.dialogs.messages[0].prompt.startsWith(bad + ": "));

        // A cancelled dialog says nothing.
        run.dialogs.messages.clear();
        test::click(result, "cmdsave");
        QVERIFY(run.dialogs.messages.isEmpty());
        QVERIFY(result.isVisible());
        result.hide();
    }

    void unwritableWatermarkFileIsReported() {
        test::GuiRun run;
        putWatermarked(run);
        QVERIFY(QDir(run.home()).mkdir(QStringLiteral("watermark.bmp")));
        FrmDecode1 &screen = toExtraction(run, QStringLiteral("marked.bmp"));
        run.dialogs.messages.clear();
        test::click(screen, "cmdnext");
        QCOMPARE(run.dialogs.messages.size(), 1);
        QVERIFY(run.dialogs.messages[0].prompt.startsWith(run.homeFile(QStringLiteral("watermark.bmp")) + ": "));
        QCOMPARE(test::visibleWindows(), QStringList{"frmDecode1"});
        screen.hide();
    }

    // A result screen whose picture cannot be read does not open; the user is
    // told which file and why.
    void unreadableResultFile() {
        test::GuiRun run;
        QVERIFY(registry().reloadIfLoaded<FrmDecode2>() == nullptr);
        QVERIFY(registry().reloadIfLoaded<FrmEncode3>() == nullptr);
        QCOMPARE(run.dialogs.messages.size(), 2);
        QVERIFY(run.dialogs.messages[0].prompt.startsWith(run.homeFile(QStringLiteral("watermark.bmp")) + ": "));
        QVERIFY(run.dialogs.messages[1].prompt.startsWith(
            run.homeFile(QStringLiteral("wavlettransformresult.bmp")) + ": "));
        QVERIFY(!registry().loaded<FrmDecode2>() && !registry().loaded<FrmEncode3>());
    }

    void bothWizardsInOneRun() {
        test::GuiRun run;
        run.putSamples();
        QWidget &main = run.start();
        test::clickFile(main, "File1", QStringLiteral("cover.bmp"));
        test::click(main, "cmdencode");
        FrmEncode1 &chooser = registry().get<FrmEncode1>();
        test::clickFile(chooser, "File2", QStringLiteral("watermark.bmp"));
        test::click(chooser, "cmdnext");
        run.dialogs.replies = {"0"};
        run.dialogs.saveNames = {run.homeFile(QStringLiteral("saved.bmp"))};
        test::click(registry().get<FrmEncode2>(), "cmdnext");
        test::click(registry().get<FrmEncode3>(), "cmdmain");

        FrmMain &fresh = registry().get<FrmMain>();
        test::child<FileList>(fresh, "File1").setPath(run.home()); // the list reads the folder anew
        test::clickFile(fresh, "File1", QStringLiteral("saved.bmp"));
        test::click(fresh, "cmddecode");
        test::click(registry().get<FrmDecode1>(), "cmdnext");
        QVERIFY(registry().get<FrmDecode2>().isVisible());

        const auto q = compareImages(sampleWatermark(), test::loadImage(run.homeFile(QStringLiteral("watermark.bmp"))));
        QVERIFY(q.ok());
        QVERIFY2(q->psnr > 20 && q->nc > 0.99, qPrintable(QStringLiteral("PSNR %1, NC %2").arg(q->psnr).arg(q->nc)));
        registry().get<FrmDecode2>().hide();
    }

    void aboutWindow() {
        test::GuiRun run;
        QWidget &main = run.start();
        test::click(main, "cmdabout");
        FrmAbout &about = registry().get<FrmAbout>();
        QVERIFY(about.isVisible());
        QCOMPARE(about.windowTitle(), QStringLiteral("About Ombrel's Colored Digital Watermarking "));
        QCOMPARE(test::child<QLabel>(about, "lblVersion").text(), QStringLiteral("Version 1.0.0"));
        QCOMPARE(test::child<QLabel>(about, "lblTitle").text(), QStringLiteral("Ombrel's Colored Digital Watermarking "));
        QCOMPARE(test::child<QPushButton>(about, "cmdSysInfo").text(), QStringLiteral("&System Info..."));
        QVERIFY(test::child<QPushButton>(about, "cmdOK").isDefault());
        for (const char *name : {"picIcon", "lblDescription", "lblcontact", "lblinfo", "lblDisclaimer"})
            QVERIFY2(about.findChild<QWidget *>(name), name);
        QTest::keyClick(&about, Qt::Key_Escape);
        QVERIFY(!registry().loaded<FrmAbout>());
        main.hide();
    }

    void systemInformation_data() {
        QTest::addColumn<QString>("path");      // location 1, "-" when missing
        QTest::addColumn<QString>("folder");    // location 2, "-" when missing
        QTest::addColumn<bool>("programThere"); // the program file in that folder
        QTest::addColumn<QString>("launched");
        QTest::newRow("location 1 set") << "/opt/tools/sysinfo" << "-" << false << "/opt/tools/sysinfo";
        QTest::newRow("location 2 holds the program") << "-" << "HOME" << true << "HOME/hardinfo";
        QTest::newRow("location 2 without it") << "-" << "HOME" << false << "";
        QTest::newRow("both missing") << "-" << "-" << false << "";
    }
    void systemInformation() {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QFETCH(bool, programThere);
        QFETCH(QString, launched);
        test::GuiRun run;
        if (path != "-")
            run.dialogs.settingsValues[QString::fromLatin1(platform::kSysInfoPathKey)] = path;
        if (folder != "-")
            run.dialogs.settingsValues[QString::fromLatin1(platform::kSysInfoFolderKey)] = run.home();
        if (programThere)
            QFile(run.homeFile(QStringLiteral("hardinfo"))).open(QIODevice::WriteOnly);
        launched.replace(QStringLiteral("HOME"), run.home());

        FrmAbout &about = registry().get<FrmAbout>();
        about.show();
        test::click(about, "cmdSysInfo");
        QCOMPARE(run.dialogs.launched, launched.isEmpty() ? QStringList() : QStringList{launched});
        if (launched.isEmpty()) {
            QCOMPARE(test::prompts(run.dialogs), QStringList{"System Information Is Unavailable At This Time"});
            QCOMPARE(test::titles(run.dialogs), QStringList{"Ombrel's Colored Digital Watermarking "});
        } else {
            QVERIFY(run.dialogs.messages.isEmpty());
        }
        // A start that fails gives the same single message.
        run.dialogs.messages.clear();
        run.dialogs.launchSucceeds = false;
        test::click(about, "cmdSysInfo");
        QCOMPARE(test::prompts(run.dialogs), QStringList{"System Information Is Unavailable At This Time"});
        QVERIFY(about.isVisible());
        about.hide();
    }
};

QTEST_MAIN(ExtractWizard)
#include "test_extract_wizard.moc"
