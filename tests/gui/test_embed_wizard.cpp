// SPDX-License-Identifier: Apache-2.0
#include "cli/cli.h"
#include "gui/harness.h"
#include "imaging/sample_images.h"
#include "support/bmp_builder.h"
#include "text/texts.h"
#include "windows/controls.h"
#include "windows/frmencode1.h"
#include "windows/frmencode2.h"
#include "windows/frmencode3.h"
#include "windows/frmloading.h"
#include "windows/frmmain.h"
#include "windows/session.h"

#include <QDir>
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

QString q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// Main window with cover.bmp picked, through "Embed", to the chooser.
FrmEncode1 &toChooser(test::GuiRun &run) {
    QWidget &main = run.start();
    test::clickFile(main, "File1", QStringLiteral("cover.bmp"));
    test::click(main, "cmdencode");
    return registry().get<FrmEncode1>();
}

// ... and on with watermark.bmp to the embedding screen.
FrmEncode2 &toEmbedding(test::GuiRun &run) {
    FrmEncode1 &chooser = toChooser(run);
    test::clickFile(chooser, "File2", QStringLiteral("watermark.bmp"));
    test::click(chooser, "cmdnext");
    return registry().get<FrmEncode2>();
}

void putSamples(test::GuiRun &run) {
    run.putBitmap(QStringLiteral("cover.bmp"), sampleCover());
    run.putBitmap(QStringLiteral("watermark.bmp"), sampleWatermark());
}

} // namespace

class EmbedWizard : public QObject {
    Q_OBJECT
private slots:
    // What the test left on screen, as its run ended and before the reset;
    // taken, so a failure is reported once.
    void cleanup() { QCOMPARE(std::exchange(test::leftovers(), {}), QStringList()); }

    void mainWindowCarriesItsTexts() {
        test::GuiRun run;
        QWidget &main = run.start();
        QCOMPARE(main.objectName(), QStringLiteral("frmmain"));
        QCOMPARE(main.windowTitle(), QStringLiteral("Digital Image watermarking in wavelet domain"));
        QCOMPARE(main.size(), QSize(666, 647));
        QCOMPARE(main.findChild<QLabel *>("lblbmp1")->text(), QStringLiteral("Only (*.bmp)  images can be used"));
        QCOMPARE(main.findChild<QLabel *>("Label1")->text(), QStringLiteral("Cover/Stego image"));
        for (const char *name : {"Drive1", "Dir1", "File1", "img1", "lblpro", "lblintro1", "lblintro2",
                                 "cmdload", "cmdencode", "cmddecode", "cmdabout", "cmdexit"})
            QVERIFY2(main.findChild<QWidget *>(name), name);
        QCOMPARE(test::child<DirList>(registry().get<FrmMain>(), "Dir1").path(), run.home());
        main.hide();
    }

    void coverVerdicts_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QString>("title");
        QTest::newRow("1024 x 768") << 1024 << 768 << "Image is suitable";
        QTest::newRow("1024 x 767") << 1024 << 767 << "Dimensions error";
        QTest::newRow("768 x 1024") << 768 << 1024 << "Dimensions error";
        QTest::newRow("nothing clicked") << 0 << 0 << "Dimensions error";
    }
    void coverVerdicts() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QString, title);
        test::GuiRun run;
        QWidget &main = run.start();
        if (width) {
            run.putBitmap(QStringLiteral("c.bmp"), test::randomImage(width, height, 1));
            test::child<FileList>(registry().get<FrmMain>(), "File1").setPath(run.home());
            test::clickFile(main, "File1", QStringLiteral("c.bmp"));
            QCOMPARE(test::child<QLabel>(registry().get<FrmMain>(), "lblpro").text(),
                     QStringLiteral("Image : c.bmp\n") + QStringLiteral(" %1x %2").arg(width).arg(height));
        }
        test::click(main, "cmdload");
        QCOMPARE(test::titles(run.dialogs), QStringList{title});
        QVERIFY(!registry().get<FrmLoading>().isVisible());
        main.hide();
    }

    void embedRefusesAnUnsuitableCover() {
        test::GuiRun run;
        run.putBitmap(QStringLiteral("cover.bmp"), test::randomImage(1024, 767, 1));
        QWidget &main = run.start();
        test::clickFile(main, "File1", QStringLiteral("cover.bmp"));
        test::click(main, "cmdencode");
        QCOMPARE(test::titles(run.dialogs), (QStringList{"Dimensions error", "Image Error"}));
        QCOMPARE(test::prompts(run.dialogs).last(),
                 QStringLiteral("Please load a suitable image to be the cover, and 1024x768 dimensions"));
        QVERIFY(main.isVisible());
        main.hide();
    }

    void unreadableFileIsReportedAndForgotten() {
        test::GuiRun run;
        const QString bad = run.homeFile(QStringLiteral("broken.bmp"));
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("BM not really");
        file.close();
        QWidget &main = run.start();
        test::clickFile(main, "File1", QStringLiteral("broken.bmp"));
        QCOMPARE(run.dialogs.messages.size(), 1);
        QVERIFY(run.dialogs.messages[0].prompt.startsWith(bad + QStringLiteral(": ")));
        QCOMPARE(run.dialogs.messages[0].title, QString());
        test::click(main, "cmdencode");
        QCOMPARE(test::titles(run.dialogs).mid(1), (QStringList{"Dimensions error", "Image Error"}));
        QVERIFY(main.isVisible());
        main.hide();
    }

    void fileListMatchesAnyCase() {
        test::GuiRun run;
        run.putBitmap(QStringLiteral("PHOTO.BMP"), test::randomImage(4, 4, 1));
        run.putBitmap(QStringLiteral("notes.png"), test::randomImage(4, 4, 1));
        QWidget &main = run.start();
        auto *files = &test::child<FileList>(registry().get<FrmMain>(), "File1");
        QCOMPARE(files->count(), 1);
        QCOMPARE(files->item(0)->text(), QStringLiteral("PHOTO.BMP"));
        QDir(run.home()).mkdir(QStringLiteral("pics"));
        run.putBitmap(QStringLiteral("pics/inner.bmp"), test::randomImage(4, 4, 1));
        test::child<DirList>(registry().get<FrmMain>(), "Dir1").setPath(run.homeFile(QStringLiteral("pics")));
        QCOMPARE(files->item(0)->text(), QStringLiteral("inner.bmp"));
        QCOMPARE(files->pathOf(QStringLiteral("inner.bmp")), run.homeFile(QStringLiteral("pics/inner.bmp")));
        main.hide();
    }

    void watermarkVerdicts_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("opens");
        QTest::newRow("grey") << "grey" << "Image is suitable" << true;
        QTest::newRow("red pixel at 10,10") << "red" << "Color Depth error" << false;
        QTest::newRow("colour only in column 0") << "column0" << "Image is suitable" << true;
        QTest::newRow("512 x 511") << "short" << "Dimensions error" << false;
        QTest::newRow("colour cover") << "cover" << "Dimensions error" << false;
    }
    void watermarkVerdicts() {
        QFETCH(QString, kind);
        QFETCH(QString, title);
        QFETCH(bool, opens);
        test::GuiRun run;
        run.putBitmap(QStringLiteral("cover.bmp"), sampleCover());
        Image w = test::greyPicture(512, 512);
        if (kind == "red")
            w.at(10, 10) = rgb(255, 0, 0);
        if (kind == "column0")
            w.at(0, 40) = rgb(255, 0, 0);
        if (kind == "short")
            w = test::greyPicture(512, 511);
        if (kind == "cover")
            w = sampleCover();
        run.putBitmap(QStringLiteral("watermark.bmp"), w);
        FrmEncode1 &chooser = toChooser(run);
        run.dialogs.messages.clear();
        test::clickFile(chooser, "File2", QStringLiteral("watermark.bmp"));
        test::click(chooser, "cmdnext");
        QCOMPARE(test::titles(run.dialogs), QStringList{title});
        QCOMPARE(registry().loaded<FrmEncode2>() && registry().get<FrmEncode2>().isVisible(), opens);
        QCOMPARE(chooser.isVisible(), !opens);
        const int bar = test::child<QProgressBar>(registry().get<FrmLoading>(), "ProgressBar1").value();
        QCOMPARE(bar, kind == "red" ? 100 : (opens ? 512 : 0));
        registry().get<FrmEncode2>().hide();
        chooser.hide();
    }

    void lifecycleKeepsTheWatermarkAndForgetsTheCover() {
        test::GuiRun run;
        putSamples(run);
        FrmEncode2 &embedding = toEmbedding(run);
        QCOMPARE(test::child<QLabel>(embedding, "lblcoverx").text(), QStringLiteral("Width:  1024"));
        QCOMPARE(test::child<QLabel>(embedding, "lblcovery").text(), QStringLiteral("Height:  768"));
        QCOMPARE(test::child<QLabel>(embedding, "lblwaterx").text(), QStringLiteral("Width:  512"));
        QCOMPARE(test::child<QLabel>(embedding, "lblwatery").text(), QStringLiteral("Height:  512"));

        // Back to a fresh chooser: blank, but its "Next" remembers the watermark.
        test::click(embedding, "cmdback");
        FrmEncode1 &chooser = registry().get<FrmEncode1>();
        QVERIFY(chooser.isVisible());
        QCOMPARE(test::child<QLabel>(chooser, "lbl2").text(), QString());
        run.dialogs.messages.clear();
        test::click(chooser, "cmdnext");
        QCOMPARE(test::titles(run.dialogs), QStringList{"Image is suitable"});
        QVERIFY(registry().get<FrmEncode2>().isVisible());

        // Back twice: the main window starts over and has forgotten the cover.
        test::click(registry().get<FrmEncode2>(), "cmdback");
        test::click(registry().get<FrmEncode1>(), "cmdback");
        FrmMain &main = registry().get<FrmMain>();
        QVERIFY(main.isVisible());
        QCOMPARE(test::child<QLabel>(main, "lblpro").text(), QString());
        QCOMPARE(run.session.cover.path, QString());
        run.dialogs.messages.clear();
        test::click(main, "cmdload");
        QCOMPARE(test::titles(run.dialogs), QStringList{"Dimensions error"});
        main.hide();
    }

    void thresholdPromptAsksUntilValid() {
        test::GuiRun run;
        putSamples(run);
        FrmEncode2 &embedding = toEmbedding(run);
        run.dialogs.messages.clear();
        run.dialogs.replies = {"256", "abc", "", "-12.5"};
        test::click(embedding, "cmdnext");
        QCOMPARE(run.dialogs.prompts.size(), 4);
        QCOMPARE(run.dialogs.prompts[0], QStringLiteral("Please enter the threshold value"));
        QCOMPARE(test::titles(run.dialogs),
                 (QStringList{"Error in threshold value", "Error in threshold value", "Error in threshold value"}));
        QCOMPARE(test::prompts(run.dialogs)[0], q(text::kThresholdInvalid));
        // -12.5 rounds to -12: the fixed output is what the tool writes for -12.
        std::ostringstream out, err;
        const QString reference = run.homeFile(QStringLiteral("reference.bmp"));
        QCOMPARE(cli::run({"embed", run.homeFile("cover.bmp").toStdString(), run.homeFile("watermark.bmp").toStdString(),
                           "-t", "-12", "-o", reference.toStdString()}, out, err), 0);
        QVERIFY(test::loadImage(run.homeFile(QStringLiteral("output.bmp"))) == test::loadImage(reference));
        // The save dialog was cancelled: nothing more, the success screen opens.
        QVERIFY(registry().get<FrmEncode3>().isVisible());
        registry().get<FrmEncode3>().hide();
    }

    void saveFlow_data() {
        QTest::addColumn<QList<int>>("answers"); // to the overwrite question
        QTest::addColumn<bool>("existing");
        QTest::addColumn<bool>("written");
        QTest::addColumn<bool>("successScreen");
        QTest::newRow("new name") << QList<int>{} << false << true << true;
        QTest::newRow("existing, Yes") << QList<int>{int(Answer::Yes)} << true << true << true;
        QTest::newRow("existing, No, No, Yes") << QList<int>{int(Answer::No), int(Answer::No), int(Answer::Yes)}
                                               << true << true << true;
        QTest::newRow("existing, Cancel") << QList<int>{int(Answer::Cancel)} << true << false << false;
    }
    void saveFlow() {
        QFETCH(QList<int>, answers);
        QFETCH(bool, existing);
        QFETCH(bool, written);
        QFETCH(bool, successScreen);
        test::GuiRun run;
        putSamples(run);
        const QString mine = run.homeFile(QStringLiteral("mine"));
        if (existing)
            QFile(mine).open(QIODevice::WriteOnly);
        FrmEncode2 &embedding = toEmbedding(run);
        run.dialogs.messages.clear();
        run.dialogs.replies = {"0"};
        for (int i = 0; i < std::max<qsizetype>(1, answers.size()); ++i)
            run.dialogs.saveNames.push_back(mine);
        for (int a : answers)
            run.dialogs.answers.push_back(Answer(a));
        test::click(embedding, "cmdnext");
        QCOMPARE(run.dialogs.filters.size(), std::max<qsizetype>(1, answers.size()));
        QCOMPARE(run.dialogs.filters[0], QStringLiteral("bmp file (*.bmp)|*.bmp|"));
        for (const auto &m : run.dialogs.messages) {
            QCOMPARE(m.prompt, QStringLiteral("The file already exists, do you want to overwrite ?"));
            QCOMPARE(m.title, QStringLiteral("File exists"));
            QCOMPARE(m.buttons, Buttons::YesNoCancel);
        }
        QCOMPARE(run.dialogs.messages.size(), answers.size());
        QCOMPARE(QFileInfo(mine).size() > 0, written);
        if (written)
            QVERIFY(test::loadImage(mine) == test::loadImage(run.homeFile(QStringLiteral("output.bmp"))));
        QCOMPARE(registry().loaded<FrmEncode3>() && registry().get<FrmEncode3>().isVisible(), successScreen);
        QCOMPARE(embedding.isVisible(), !successScreen);
        QVERIFY(!registry().get<FrmLoading>().isVisible());
        for (const char *w : {"wavlettransformresult.bmp", "wavlettransformresultw2.bmp", "output.bmp"})
            QVERIFY2(QFileInfo::exists(run.homeFile(w)), w);
        if (successScreen)
            registry().get<FrmEncode3>().hide();
        embedding.hide();
    }

    void wholeWalkMatchesTheTool() {
        test::GuiRun run;
        putSamples(run);
        FrmEncode2 &embedding = toEmbedding(run);
        run.dialogs.replies = {"0"};
        run.dialogs.saveNames = {run.homeFile(QStringLiteral("marked.bmp"))};
        test::click(embedding, "cmdnext");
        QProgressBar *bar = &test::child<QProgressBar>(registry().get<FrmLoading>(), "ProgressBar1");
        QCOMPARE(bar->value(), 2946);
        QCOMPARE(bar->maximum(), 3074);
        FrmEncode3 &done = registry().get<FrmEncode3>();
        QVERIFY(done.isVisible());
        QCOMPARE(done.windowTitle(), QStringLiteral("Success .... "));
        QVERIFY(test::child<ImageBox>(done, "imgend").hasPicture() && test::child<ImageBox>(done, "imgwavelet").hasPicture());
        QCOMPARE(test::visibleWindows(), QStringList{"frmencode3"});

        std::ostringstream out, err;
        const QString tool = run.homeFile(QStringLiteral("tool.bmp"));
        QCOMPARE(cli::run({"embed", run.homeFile("cover.bmp").toStdString(), run.homeFile("watermark.bmp").toStdString(),
                           "-o", tool.toStdString()}, out, err), 0);
        QVERIFY(test::loadImage(run.homeFile(QStringLiteral("output.bmp"))) == test::loadImage(tool));
        QVERIFY(test::loadImage(run.homeFile(QStringLiteral("marked.bmp"))) == test::loadImage(tool));

        // Saving again from the success screen, under another name.
        run.dialogs.saveNames = {run.homeFile(QStringLiteral("again.bmp"))};
        test::click(done, "cmdsave");
        QVERIFY(test::loadImage(run.homeFile(QStringLiteral("again.bmp"))) == test::loadImage(tool));

        // Back shows the cover as it was loaded, not the watermarked pixels.
        test::click(done, "cmdback");
        QVERIFY(registry().get<FrmEncode2>().isVisible());
        QCOMPARE(test::child<QLabel>(registry().get<FrmEncode2>(), "lblcoverx").text(), QStringLiteral("Width:  1024"));
        registry().get<FrmEncode2>().hide();
    }

    void unwritableFixedFileStopsTheRun() {
        test::GuiRun run;
        putSamples(run);
        QDir(run.home()).mkdir(QStringLiteral("output.bmp"));
        FrmEncode2 &embedding = toEmbedding(run);
        run.dialogs.messages.clear();
        run.dialogs.replies = {"0"};
        test::click(embedding, "cmdnext");
        QCOMPARE(run.dialogs.messages.size(), 1);
        QVERIFY(run.dialogs.messages[0].prompt.startsWith(run.homeFile(QStringLiteral("output.bmp")) + ": "));
        QVERIFY(run.dialogs.filters.isEmpty());
        QVERIFY(embedding.isVisible());
        QVERIFY(!registry().get<FrmLoading>().isVisible());
        QVERIFY(!registry().loaded<FrmEncode3>());
        embedding.hide();
    }

    void failedUserSaveIsReportedAndTheFlowGoesOn() {
        test::GuiRun run;
        putSamples(run);
        FrmEncode2 &embedding = toEmbedding(run);
        run.dialogs.messages.clear();
        run.dialogs.replies = {"0"};
        const QString bad = run.homeFile(QStringLiteral("no/such/folder.bmp"));
        run.dialogs.saveNames = {bad};
        test::click(embedding, "cmdnext");
        QCOMPARE(run.dialogs.messages.size(), 1);
        QVERIFY(run.dialogs.messages[0].prompt.startsWith(bad + ": "));
        QVERIFY(registry().get<FrmEncode3>().isVisible());
        registry().get<FrmEncode3>().hide();
    }

    void exitAndClosing() {
        test::GuiRun run;
        putSamples(run);
        FrmEncode1 &chooser = toChooser(run);
        chooser.close(); // the title bar's close box: like "Back"
        QVERIFY(!chooser.isVisible());
        FrmMain &main = registry().get<FrmMain>();
        QVERIFY(main.isVisible());
        QVERIFY(!run.dialogs.ended);
        main.close();
        QVERIFY(run.dialogs.ended);
        run.dialogs.ended = false;
        test::click(main, "cmdexit");
        QVERIFY(run.dialogs.ended);
        main.hide();
    }
};

QTEST_MAIN(EmbedWizard)
#include "test_embed_wizard.moc"
