// SPDX-License-Identifier: Apache-2.0
// The About window's keys, and the folder the save dialog opens in.

#include "gui/harness.h"
#include "gui/tour.h"
#include "imaging/sample_images.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace ombrel;
using platform::Answer;

namespace {

bool aboutShown() {
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("frmAbout") && w->isVisible())
            return true;
    return false;
}

// Through the embedding wizard to its result screen; the first save is
// answered with the name given.
QWidget &toEmbeddingResult(test::GuiRun &run, const QString &firstSave) {
    run.putBitmap(QStringLiteral("cover.bmp"), sampleCover());
    run.putBitmap(QStringLiteral("watermark.bmp"), sampleWatermark());
    run.dialogs.replies = {QStringLiteral("0")};
    run.dialogs.saveNames = {firstSave};
    return test::embedFromStart(run, [](QWidget &) {});
}

} // namespace

class AboutKeysAndSaveFolder : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QCOMPARE(test::visibleWindows(), QStringList()); }

    void aboutKeys_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<bool>("startsSystemInfo");
        QTest::newRow("Enter on System Info") << "cmdSysInfo" << int(Qt::Key_Return) << false << true;
        QTest::newRow("keypad Enter on System Info") << "cmdSysInfo" << int(Qt::Key_Enter) << false << true;
        QTest::newRow("Space on System Info") << "cmdSysInfo" << int(Qt::Key_Space) << false << true;
        QTest::newRow("Enter on OK") << "cmdOK" << int(Qt::Key_Return) << true << false;
        QTest::newRow("Escape on System Info") << "cmdSysInfo" << int(Qt::Key_Escape) << true << false;
        QTest::newRow("Escape on OK") << "cmdOK" << int(Qt::Key_Escape) << true << false;
    }
    void aboutKeys() {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(bool, closes);
        QFETCH(bool, startsSystemInfo);
        test::GuiRun run;
        run.dialogs.settingsValues[QStringLiteral("SystemInformation/Path")] = QStringLiteral("/opt/tools/sysinfo");
        QWidget &main = run.start();
        QWidget &about = test::press(main, "cmdabout", "frmAbout");
        about.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&about));
        auto *button = about.findChild<QPushButton *>(focus);
        QVERIFY(button);
        button->setFocus();
        QCOMPARE(QApplication::focusWidget(), button);

        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(aboutShown(), !closes);
        QCOMPARE(run.dialogs.launched,
                 startsSystemInfo ? QStringList{"/opt/tools/sysinfo"} : QStringList());
        if (!closes)
            about.hide();
        main.hide();
    }

    // Each save dialog of a run opens where the last save went; the first in
    // the home folder.
    void saveDialogOpensWhereTheLastSaveWent() {
        test::GuiRun run;
        const QString home = run.home();
        for (const char *sub : {"pictures", "pictures/kept", "gone"})
            QVERIFY(QDir(home).mkpath(QLatin1String(sub)));
        QWidget &result = toEmbeddingResult(run, home + QStringLiteral("/pictures/first.bmp"));
        auto saveAs = [&](const QString &name, std::initializer_list<Answer> answers) {
            run.dialogs.saveNames = {name};
            run.dialogs.answers = answers;
            test::click(result, "cmdsave");
            return run.dialogs.folders.last();
        };

        QCOMPARE(run.dialogs.folders, QStringList{home});
        QCOMPARE(saveAs(home + QStringLiteral("/pictures/kept/second.bmp"), {}), home + "/pictures");
        // Cancelled dialog: nothing saved, the folder stays.
        QCOMPARE(saveAs(QString(), {}), home + "/pictures/kept");
        // Overwrite refused: nothing saved, the folder stays.
        QCOMPARE(saveAs(home + QStringLiteral("/pictures/first.bmp"), {Answer::Cancel}), home + "/pictures/kept");
        // A save that fails does not move it either.
        QCOMPARE(saveAs(home + QStringLiteral("/missing/third.bmp"), {}), home + "/pictures/kept");
        QCOMPARE(saveAs(home + QStringLiteral("/gone/fourth.bmp"), {}), home + "/pictures/kept");
        QVERIFY(QDir(home + "/gone").removeRecursively());
        // The folder last saved to has gone since: the home folder again.
        QCOMPARE(saveAs(QString(), {}), home);

        // The extraction's save dialog follows the same folder.
        QCOMPARE(saveAs(home + QStringLiteral("/pictures/kept/fifth.bmp"), {}), home);
        QWidget &main = test::press(result, "cmdmain", "frmmain");
        test::clickFile(main, "File1", QStringLiteral("output.bmp"));
        QWidget &extraction = test::press(main, "cmddecode", "frmDecode1");
        QWidget &extracted = test::press(extraction, "cmdnext", "frmdecode2");
        run.dialogs.saveNames = {QString()};
        test::click(extracted, "cmdsave");
        QCOMPARE(run.dialogs.folders.last(), home + "/pictures/kept");
        extracted.hide();
    }

    // A new run starts from the home folder, whatever the last run saved to.
    void aFreshRunStartsAtHome() {
        QTemporaryDir elsewhere;
        {
            test::GuiRun run;
            QWidget &result = toEmbeddingResult(run, elsewhere.filePath(QStringLiteral("a.bmp")));
            run.dialogs.saveNames = {QString()};
            test::click(result, "cmdsave");
            QCOMPARE(run.dialogs.folders.last(), elsewhere.path());
            result.hide();
        }
        test::GuiRun run;
        QWidget &result = toEmbeddingResult(run, QString());
        QCOMPARE(run.dialogs.folders, QStringList{run.home()});
        result.hide();
    }
};

QTEST_MAIN(AboutKeysAndSaveFolder)
#include "test_about_keys_and_save_folder.moc"
