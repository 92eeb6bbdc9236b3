// SPDX-License-Identifier: Apache-2.0
#include "gui/harness.h"
#include "platform/qt_services.h"
#include "windows/controls.h"
#include "windows/frmabout.h"
#include "windows/frmdecode1.h"
#include "windows/frmdecode2.h"
#include "windows/frmencode1.h"
#include "windows/frmencode2.h"
#include "windows/frmencode3.h"
#include "windows/frmloading.h"
#include "windows/frmmain.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <stdexcept>
#include <utility>

using namespace ombrel;
using namespace ombrel::windows;
using platform::Answer;
using platform::Buttons;
using test::registry;

namespace {

// Every window of the program, loaded by its name.
QWidget &window(const QString &name) {
    if (name == "frmmain")
        return registry().get<FrmMain>();
    if (name == "frmEncode1")
        return registry().get<FrmEncode1>();
    if (name == "frmencode2")
        return registry().get<FrmEncode2>();
    if (name == "frmencode3")
        return registry().get<FrmEncode3>();
    if (name == "frmDecode1")
        return registry().get<FrmDecode1>();
    if (name == "frmdecode2")
        return registry().get<FrmDecode2>();
    if (name == "frmAbout")
        return registry().get<FrmAbout>();
    return registry().get<FrmLoading>();
}

// Runs check on the next modal dialog once it is open; check closes it,
// and closes any other dialog than the one it expects.
void whenModal(std::function<void(QWidget *)> check) {
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, check] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            check(modal);
        }
    });
    timer->start();
}

} // namespace

class Windows : public QObject {
    Q_OBJECT
private slots:
    // What the test left on screen, as its run ended and before the reset;
    // taken, so a failure is reported once.
    void cleanup() { QCOMPARE(std::exchange(test::leftovers(), {}), QStringList()); }

    // Every caption, label and tooltip a person reads, written out here.
    void visibleTexts_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("control"); // empty for the window's title
        QTest::addColumn<QString>("text");
        const char *rows[][3] = {
            {"frmmain", "", "Digital Image watermarking in wavelet domain"},
            {"frmmain", "lblintro1", "Welcome to the Ombrel Colored Digital Watermarking in Wavelet domain"},
            {"frmmain", "lblintro2",
             "Please choose the image that you want to encode the watermark into, or the one you want to decode "
             "the watermark from .. The cover image or the modulated image should be a colored 1024x768 image , "
             "and the watermark image should be 512x512 grey scaled image."},
            {"frmmain", "lblbmp1", "Only (*.bmp)  images can be used"},
            {"frmmain", "Label1", "Cover/Stego image"},
            {"frmmain", "cmdload", "Load image"},
            {"frmmain", "cmdencode", "Embed the watermark into the image"},
            {"frmmain", "cmddecode", "Extract the watermark from the image"},
            {"frmmain", "cmdabout", "About this Application"},
            {"frmmain", "cmdexit", "Exit"},
            {"frmEncode1", "", "Choosing the water mark"},
            {"frmEncode1", "lblencode",
             "Please choose the image that you want to encode as a watermark into the cover image, the water mark "
             "image should be 512x512 grey scale "},
            {"frmEncode1", "lblcover", "The cover image"},
            {"frmEncode1", "lbl1", "1024x768"},
            {"frmEncode1", "lblwater", "The water mark image"},
            {"frmEncode1", "lblbmp2", "only (*.bmp) images can be used"},
            {"frmEncode1", "cmdback", "<<  Back"},
            {"frmEncode1", "cmdload", "Load image"},
            {"frmEncode1", "cmdnext", "Next  >>"},
            {"frmencode2", "", "Wavelet transform and embedding"},
            {"frmencode2", "lblcover", "Cover image properties"},
            {"frmencode2", "lblwater", "Watermark image properties"},
            {"frmencode2", "cmdback", "<<  Back"},
            {"frmencode2", "cmdnext", "Start the Embedding"},
            {"frmencode2", "cmdnext tooltip",
             "create matrices, and saves the watermark image as text \" c:\\wateroutput.txt \" "},
            {"frmencode3", "", "Success .... "},
            {"frmencode3", "lblcong",
             "Congratulations , the watermark was successfully embedded into the cover image ... "},
            {"frmencode3", "lblwav", "The wavelet transform level 2 result"},
            {"frmencode3", "lblresult", "The resulting image after embedding the watermark"},
            {"frmencode3", "cmdsave", "Save the watermarked image"},
            {"frmencode3", "cmdback", "<<   Back "},
            {"frmencode3", "cmdmain", "Go to Main menu"},
            {"frmencode3", "cmdexit", "Exit"},
            {"frmDecode1", "", "Extracting the watermark"},
            {"frmDecode1", "lbl1", "You choosed this image to decode the watermark from ... "},
            {"frmDecode1", "lbl2",
             "The watermark is about to be extracted ... click next to start the extraction of the watermark"},
            {"frmDecode1", "cmdback", "<<   Back"},
            {"frmDecode1", "cmdnext", "Next   >>"},
            {"frmdecode2", "", "The watermark"},
            {"frmdecode2", "Label1", "The embedded watermark is the following image :"},
            {"frmdecode2", "cmdsave", "Save watermark image"},
            {"frmdecode2", "cmdback", "<<   Back"},
            {"frmdecode2", "cmdmain", "Go to main menu"},
            {"frmdecode2", "cmdexit", "Exit"},
            {"frmAbout", "", "About Ombrel's Colored Digital Watermarking "},
            {"frmAbout", "lblTitle", "Ombrel's Colored Digital Watermarking "},
            {"frmAbout", "lblVersion", "Version 1.0.0"},
            {"frmAbout", "lblDescription",
             "Encoding watermarks to images, and decoding watermarks from watermarked images."},
            {"frmAbout", "cmdOK", "OK"},
            {"frmAbout", "cmdSysInfo", "&System Info..."},
            {"frmloading", "", "Loading ....."},
        };
        for (const auto &r : rows)
            QTest::addRow("%s %s", r[0], r[1]) << r[0] << r[1] << r[2];
    }
    void visibleTexts() {
        QFETCH(QString, window);
        QFETCH(QString, control);
        QFETCH(QString, text);
        test::GuiRun run;
        // The result screens show the fixed files; any readable bitmap will do.
        for (const char *name : {"wavlettransformresult.bmp", "output.bmp", "watermark.bmp"})
            run.putBitmap(QString::fromLatin1(name), test::greyPicture(8, 8));
        QWidget &w = ::window(window);
        if (control.isEmpty()) {
            QCOMPARE(w.windowTitle(), text);
        } else if (control.endsWith(" tooltip")) {
            QCOMPARE(test::child<QWidget>(w, qPrintable(control.section(' ', 0, 0))).toolTip(), text);
        } else if (auto *label = w.findChild<QLabel *>(control)) {
            QCOMPARE(label->text(), text);
        } else {
            QCOMPARE(test::child<QPushButton>(w, qPrintable(control)).text(), text);
        }
    }

    // Each hand-over shows the next screen and hides the one left, the
    // progress window included.
    void handOvers() {
        test::GuiRun run;
        run.putSamples();
        QWidget &main = run.start();
        test::clickFile(main, "File1", QStringLiteral("cover.bmp"));
        test::click(main, "cmdencode");
        QCOMPARE(test::visibleWindows(), QStringList{"frmEncode1"});
        // The extraction screen is hidden on the way, which loads it.
        QVERIFY(registry().loaded<FrmDecode1>());
        test::clickFile(registry().get<FrmEncode1>(), "File2", QStringLiteral("watermark.bmp"));
        test::click(registry().get<FrmEncode1>(), "cmdnext");
        QCOMPARE(test::visibleWindows(), QStringList{"frmencode2"});
        run.dialogs.replies = {"0"};
        test::click(registry().get<FrmEncode2>(), "cmdnext");
        QCOMPARE(test::visibleWindows(), QStringList{"frmencode3"});
        test::click(registry().get<FrmEncode3>(), "cmdback");
        QCOMPARE(test::visibleWindows(), QStringList{"frmencode2"});
        test::click(registry().get<FrmEncode2>(), "cmdback");
        QCOMPARE(test::visibleWindows(), QStringList{"frmEncode1"});
        test::click(registry().get<FrmEncode1>(), "cmdback");
        QCOMPARE(test::visibleWindows(), QStringList{"frmmain"});

        test::clickFile(registry().get<FrmMain>(), "File1", QStringLiteral("cover.bmp"));
        test::click(registry().get<FrmMain>(), "cmdencode");
        test::click(registry().get<FrmEncode1>(), "cmdnext"); // the watermark is remembered
        run.dialogs.replies = {"0"};
        test::click(registry().get<FrmEncode2>(), "cmdnext");
        test::click(registry().get<FrmEncode3>(), "cmdmain");
        QCOMPARE(test::visibleWindows(), QStringList{"frmmain"});

        test::clickFile(registry().get<FrmMain>(), "File1", QStringLiteral("cover.bmp"));
        test::click(registry().get<FrmMain>(), "cmddecode");
        QCOMPARE(test::visibleWindows(), QStringList{"frmDecode1"});
        test::click(registry().get<FrmDecode1>(), "cmdnext");
        QCOMPARE(test::visibleWindows(), QStringList{"frmdecode2"});
        test::click(registry().get<FrmDecode2>(), "cmdback");
        QCOMPARE(test::visibleWindows(), QStringList{"frmDecode1"});
        test::click(registry().get<FrmDecode1>(), "cmdback");
        QCOMPARE(test::visibleWindows(), QStringList{"frmmain"});
        test::clickFile(registry().get<FrmMain>(), "File1", QStringLiteral("cover.bmp"));
        test::click(registry().get<FrmMain>(), "cmddecode");
        test::click(registry().get<FrmDecode1>(), "cmdnext");
        test::click(registry().get<FrmDecode2>(), "cmdmain");
        QCOMPARE(test::visibleWindows(), QStringList{"frmmain"});
        registry().get<FrmMain>().hide();
    }

    // The folder above, listed over the current one, leads back up; the file
    // list follows, and the watermark chooser opens where the main window was
    // browsing.
    void foldersUpAndAcross() {
        test::GuiRun run;
        run.putSamples();
        QVERIFY(QDir(run.home()).mkdir(QStringLiteral("pics")));
        run.putBitmap(QStringLiteral("pics/inner.bmp"), test::greyPicture(4, 4));
        QWidget &main = run.start();
        auto &folders = test::child<DirList>(main, "Dir1");
        auto &files = test::child<FileList>(main, "File1");
        const auto activate = [&](const QString &entry) {
            const auto found = folders.findItems(entry, Qt::MatchExactly);
            QVERIFY2(!found.isEmpty(), qPrintable(entry));
            folders.setCurrentItem(found.first());
            QTest::keyClick(folders.viewport(), Qt::Key_Return);
        };
        activate(QStringLiteral("[pics]"));
        QCOMPARE(folders.path(), run.homeFile(QStringLiteral("pics")));
        QCOMPARE(files.item(0)->text(), QStringLiteral("inner.bmp"));
        activate(QLatin1Char('[') + QDir(run.home()).dirName() + QLatin1Char(']'));
        QCOMPARE(folders.path(), run.home());
        QCOMPARE(files.count(), 2);
        QCOMPARE(files.item(0)->text(), QStringLiteral("cover.bmp"));

        test::clickFile(main, "File1", QStringLiteral("cover.bmp"));
        activate(QStringLiteral("[pics]"));
        test::click(main, "cmdencode");
        FrmEncode1 &chooser = registry().get<FrmEncode1>();
        QVERIFY(chooser.isVisible());
        QCOMPARE(test::child<DirList>(chooser, "Dir2").path(), run.homeFile(QStringLiteral("pics")));
        QCOMPARE(test::child<FileList>(chooser, "File2").item(0)->text(), QStringLiteral("inner.bmp"));
        chooser.hide();
    }

    // A screen shows what its own run keeps, whoever put it there: each
    // screen is made with the run's state, not with one of its own.
    void screensReadTheRunsState_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("shown");
        // Pictures and lists say what they show through their description.
        QTest::newRow("chooser's folder") << "frmEncode1" << "Dir2" << "current folder %1/pics";
        QTest::newRow("cover width") << "frmencode2" << "lblcoverx" << "Width:  20";
        QTest::newRow("watermark height") << "frmencode2" << "lblwatery" << "Height:  6";
        QTest::newRow("image to extract from") << "frmDecode1" << "imgmod" << "picked.bmp, 20 x 10 pixels";
    }
    void screensReadTheRunsState() {
        QFETCH(QString, window);
        QFETCH(QString, control);
        QFETCH(QString, shown);
        test::GuiRun run;
        QVERIFY(QDir(run.home()).mkdir(QStringLiteral("pics")));
        run.session.browsing = {QStringLiteral("/"), run.homeFile(QStringLiteral("pics"))};
        run.session.cover.path = run.homeFile(QStringLiteral("picked.bmp"));
        run.session.buffers.piccover().load(test::greyPicture(20, 10));
        run.session.buffers.picwater().load(test::greyPicture(4, 6));
        QWidget &w = ::window(window);
        auto &c = test::child<QWidget>(w, qPrintable(control));
        const QString text = control.startsWith(QLatin1String("lbl")) ? static_cast<QLabel &>(c).text()
                                                                       : c.accessibleDescription();
        QCOMPARE(text, shown.contains(QLatin1String("%1")) ? shown.arg(run.home()) : shown);
    }

    // Once a run has ended no screen that keeps state can be made with what
    // it left; the About and progress windows need none.
    void noScreenOutlivesItsRunsState() {
        { test::GuiRun run; }
        QVERIFY_THROWS_EXCEPTION(std::logic_error, registry().get<FrmMain>());
        QVERIFY_THROWS_EXCEPTION(std::logic_error, registry().get<FrmEncode2>());
        QVERIFY(!registry().loaded<FrmMain>());
        QCOMPARE(registry().get<FrmAbout>().objectName(), QStringLiteral("frmAbout"));
        QCOMPARE(registry().get<FrmLoading>().objectName(), QStringLiteral("frmloading"));
        registry().reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Save-dialog filters in Qt's form keep their pattern in parentheses.
    void saveFilters_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("qt");
        QTest::newRow("pattern in the description") << "bmp file (*.bmp)|*.bmp|" << "bmp file (*.bmp)";
        QTest::newRow("no blank before it") << "BMP file(*.bmp)|*.bmp|" << "BMP file(*.bmp)";
        QTest::newRow("description alone") << "Bitmaps|*.bmp|" << "Bitmaps (*.bmp)";
        QTest::newRow("two entries") << "Bitmaps|*.bmp|All files|*.*|" << "Bitmaps (*.bmp);;All files (*.*)";
    }
    void saveFilters() {
        QFETCH(QString, filter);
        QFETCH(QString, qt);
        QCOMPARE(platform::qtFilter(filter), qt);
    }

    // The real dialogs, once each, as a person meets them.
    void realSaveDialog() {
        platform::QtServices qt;
        QStringList filters;
        whenModal([&](QWidget *modal) {
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            if (!dialog) {
                modal->close();
                return;
            }
            filters = dialog->nameFilters();
            dialog->reject();
        });
        QCOMPARE(qt.services().save->ask(QStringLiteral("bmp file (*.bmp)|*.bmp|"), QDir::homePath()), QString());
        QCOMPARE(filters, QStringList{"bmp file (*.bmp)"});
    }

    void realThresholdBox() {
        test::GuiRun run;
        run.putSamples();
        platform::QtServices qt;
        platform::Services mixed = platform::services();
        mixed.input = qt.services().input;
        platform::install(mixed);
        QWidget &main = run.start();
        test::clickFile(main, "File1", QStringLiteral("cover.bmp"));
        test::click(main, "cmdencode");
        test::clickFile(registry().get<FrmEncode1>(), "File2", QStringLiteral("watermark.bmp"));
        test::click(registry().get<FrmEncode1>(), "cmdnext");
        QString title, reply, prompt;
        whenModal([&](QWidget *modal) {
            auto *box = qobject_cast<QInputDialog *>(modal);
            if (!box) {
                modal->close();
                return;
            }
            title = box->windowTitle();
            reply = box->textValue();
            prompt = box->labelText();
            box->accept();
        });
        test::click(registry().get<FrmEncode2>(), "cmdnext");
        platform::install({&run.dialogs, &run.dialogs, &run.dialogs, &run.dialogs, &run.dialogs, &run.dialogs,
                           &run.dialogs});
        QCOMPARE(title, QStringLiteral("Threshould"));
        QCOMPARE(reply, QStringLiteral("0"));
        QCOMPARE(prompt, QStringLiteral("Please enter the threshold value"));
        QVERIFY(registry().get<FrmEncode3>().isVisible());
        registry().get<FrmEncode3>().hide();
    }

    void realMessageBoxes_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("answer");
        QTest::newRow("Escape") << int(Qt::Key_Escape) << int(Answer::Cancel);
        QTest::newRow("Return") << int(Qt::Key_Return) << int(Answer::Yes);
    }
    void realMessageBoxes() {
        QFETCH(int, key);
        QFETCH(int, answer);
        platform::QtServices qt;
        QStringList buttons;
        QString defaultButton, title, prompt;
        whenModal([&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            if (!box) {
                modal->close();
                return;
            }
            for (QAbstractButton *b : box->buttons())
                buttons << b->text().remove(QLatin1Char('&'));
            buttons.sort();
            defaultButton = box->defaultButton() ? box->defaultButton()->text().remove(QLatin1Char('&')) : QString();
            title = box->windowTitle();
            prompt = box->text();
            QTest::keyClick(box, Qt::Key(key));
        });
        QCOMPARE(int(qt.services().messages->show(QStringLiteral("Overwrite?"), Buttons::YesNoCancel,
                                                  QStringLiteral("File exists"))),
                 answer);
        QCOMPARE(buttons, (QStringList{"Cancel", "No", "Yes"}));
        QCOMPARE(defaultButton, QStringLiteral("Yes"));
        QCOMPARE(title, QStringLiteral("File exists"));
        QCOMPARE(prompt, QStringLiteral("Overwrite?"));

        // Without a title of its own a box is headed by the program's.
        whenModal([&](QWidget *modal) {
            title = modal->windowTitle();
            QTest::keyClick(modal, Qt::Key_Return);
        });
        QCOMPARE(int(qt.services().messages->show(QStringLiteral("x"), Buttons::Ok, QString())), int(Answer::Ok));
        QCOMPARE(title, QStringLiteral("Ombrel's Colored Digital Watermarking "));
    }
};

QTEST_MAIN(Windows)
#include "test_windows.moc"
