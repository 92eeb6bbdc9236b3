// SPDX-License-Identifier: Apache-2.0
// The whole walk of a person who has only the desktop program: a new key, a
// photograph sealed with it, an untouched copy and a copy painted over as an
// image editor would, both checked, the map saved; and at each step, what
// the tool makes of the same files.

#include "gui/harness.h"
#include "gui/tour.h"
#include "marking/pictures.h"
#include "support/process.h"
#include "windows/controls.h"
#include "windows/frmcheck.h"
#include "windows/frmencode1.h"
#include "windows/frmencode2.h"
#include "windows/frmkey.h"
#include "windows/frmmain.h"

#include <QApplication>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

using namespace ombrel;
using namespace ombrel::windows;
using test::child;
using test::registry;

namespace {

const std::string kTool = OMBREL_BINARY;
const QString kPhotograph = QStringLiteral("/usr/lib/python3/dist-packages/skimage/data/astronaut.png");

void type(QWidget &window, const char *field, const QString &text) {
    auto &edit = child<QLineEdit>(window, field);
    edit.setFocus();
    edit.selectAll();
    QTest::keyClicks(&edit, text);
}

QByteArray bytesOf(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::string s(const QString &q) { return q.toStdString(); }

// The check window's fields filled as a person fills them, the files picked
// through its "Choose..." dialogs, then checked with Enter.
QString checkThrough(test::GuiRun &run, QWidget &check, const QString &picture, const QString &watermark,
                     const QString &key) {
    run.dialogs.openNames = {picture, watermark, key};
    for (const char *button : {"cmdpicture", "cmdwatermark", "cmdkeyfile"})
        test::click(check, button);
    auto &threshold = child<QSpinBox>(check, "spnthreshold");
    threshold.setFocus();
    threshold.selectAll();
    QTest::keyClicks(&threshold, QStringLiteral("30"));
    type(check, "txtid", QStringLiteral("astronaut-2026"));
    QTest::keyClick(&child<QLineEdit>(check, "txtid"), Qt::Key_Return);
    if (!QTest::qWaitFor([&] { return !static_cast<FrmCheck &>(check).busy(); }, 60000))
        return QStringLiteral("(the check never ended)");
    return child<QLabel>(check, "lblverdict").text();
}

} // namespace

class SealAndCheck : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QCOMPARE(std::exchange(test::leftovers(), {}), QStringList()); }

    void aPersonSealsAPhotographAndFindsThePaintedRegion() {
        test::GuiRun run;
        run.putSamples();
        const QString photo = run.homeFile(QStringLiteral("astronaut.png"));
        QVERIFY(QFile::copy(kPhotograph, photo));
        const QString watermark = run.homeFile(QStringLiteral("watermark.bmp"));

        // The main window, the embedding path to its second screen.
        QWidget &main = run.start();
        test::clickFile(main, "File1", QStringLiteral("cover.bmp"));
        test::click(main, "cmdencode");
        FrmEncode1 &chooser = registry().get<FrmEncode1>();
        test::clickFile(chooser, "File2", QStringLiteral("watermark.bmp"));
        test::click(chooser, "cmdnext");
        FrmEncode2 &embedding = registry().get<FrmEncode2>();
        QVERIFY(embedding.isVisible());
        run.dialogs.messages.clear();

        // "Seal with a key...": a new key, the photograph as the cover, the id.
        test::click(embedding, "cmdkey");
        FrmKey &key = registry().get<FrmKey>();
        QVERIFY(key.isVisible());
        const QString keyPath = run.homeFile(QStringLiteral("astronaut.key"));
        run.dialogs.saveNames = {keyPath};
        test::click(key, "cmdnewkey");
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(keyPath).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0600);
        QCOMPARE(int(st.st_size), 32);
        run.dialogs.openNames = {photo};
        run.dialogs.answers = {platform::Answer::Yes};
        test::click(key, "cmdcover");
        QCOMPARE(test::prompts(run.dialogs),
                 QStringList{"astronaut.png is 512 x 512, not 1024 x 768. Fit it: scale it to cover 1024 x 768 and "
                             "cut out the centre?"});
        QCOMPARE(child<QLabel>(key, "lblcover").text(), QStringLiteral("Cover: astronaut.png, 512 x 512, fitted"));
        run.dialogs.messages.clear();
        type(key, "txtid", QStringLiteral("astronaut-2026"));
        const QString sealed = run.homeFile(QStringLiteral("sealed.png"));
        run.dialogs.replies = {"30"};
        run.dialogs.saveNames = {sealed};
        test::click(key, "cmduse");
        // Done when the screen has gone, or has said why not.
        QVERIFY(QTest::qWaitFor([&] { return !registry().loaded<FrmKey>() || !run.dialogs.messages.empty(); }, 60000));
        QCOMPARE(test::prompts(run.dialogs), QStringList{"The sealed picture is saved in " + sealed});
        QCOMPARE(run.dialogs.prompts, QStringList{"Please enter the threshold value"});
        run.dialogs.messages.clear();
        QCOMPARE(run.dialogs.filters, (QStringList{"key file (*.key)|*.key|",
                                                   "png picture (*.png)|*.png|bmp picture (*.bmp)|*.bmp|"}));

        // The sealed picture is, sample for sample, what the tool seals.
        const QString byTool = run.homeFile(QStringLiteral("tool-sealed.png"));
        const test::RunResult embedded =
            test::runProgram(kTool, {"embed", s(photo), s(watermark), "-t", "30", "--fit", "--key-file", s(keyPath),
                                     "--id", "astronaut-2026", "-o", s(byTool)});
        QCOMPARE(embedded.err, std::string());
        QCOMPARE(embedded.code, 0);
        const Image sealedImage = marking::load(s(sealed));
        QCOMPARE(sealedImage.width, 1024);
        QCOMPARE(sealedImage.height, 768);
        QVERIFY2(sealedImage == marking::load(s(byTool)), "the sealed picture is not the tool's");

        // Two copies, as anyone makes them: one untouched, one with a region
        // painted over in an image editor (x 301..450, y 203..292).
        const QString untouched = run.homeFile(QStringLiteral("copy.png"));
        QVERIFY(QFile::copy(sealed, untouched));
        const QString painted = run.homeFile(QStringLiteral("painted.png"));
        const QRect region(301, 203, 150, 90);
        QImage editing(sealed);
        QVERIFY(!editing.isNull());
        QPainter(&editing).fillRect(region, QColor(220, 40, 160));
        QVERIFY(editing.save(painted));

        // Back to the main window, and "Check the image for changes".
        test::click(embedding, "cmdback");
        test::click(registry().get<FrmEncode1>(), "cmdback");
        QCOMPARE(test::visibleWindows(), QStringList{"frmmain"});
        QWidget &check = test::press(registry().get<FrmMain>(), "cmdcheck", "frmcheck");

        QCOMPARE(checkThrough(run, check, untouched, watermark, keyPath),
                 QStringLiteral("Intact: every one of the 868035 carried bits is as it was sealed"));
        QCOMPARE(test::prompts(run.dialogs), QStringList());

        // The painted copy: the box holds the painted region and lies within
        // it rounded out to 8x8 blocks, columns 37..56 and rows 25..36.
        const QString verdict = checkThrough(run, check, painted, watermark, keyPath);
        QCOMPARE(verdict, QStringLiteral("Altered: 240 of 11968 blocks changed, in x 296..455, y 200..295"));
        QCOMPARE(test::prompts(run.dialogs), QStringList());
        QCOMPARE(QApplication::focusWidget(), &child<QLabel>(check, "lblverdict"));
        QCOMPARE(child<QLabel>(check, "lblmap").text(),
                 QStringLiteral("Altered blocks in red, the altered area framed"));

        // The map shown frames that region: the frame just outside the box on
        // every side, the altered blocks inside it in view.
        const QImage shown = child<ImageBox>(check, "imgmap").pixmap().toImage();
        QCOMPARE(shown.size(), QSize(1024, 768));
        const QRgb frame = qRgb(255, 214, 0);
        for (const QPoint p : {QPoint(292, 250), QPoint(295, 250), QPoint(456, 250), QPoint(459, 250),
                               QPoint(380, 196), QPoint(380, 199), QPoint(380, 296), QPoint(380, 299),
                               QPoint(292, 196), QPoint(459, 299)})
            QVERIFY2(shown.pixel(p) == frame, qPrintable(QStringLiteral("no frame at %1,%2").arg(p.x()).arg(p.y())));
        for (const QPoint p : {QPoint(296, 250), QPoint(455, 250), QPoint(380, 200), QPoint(380, 295),
                               QPoint(291, 250), QPoint(460, 250), QPoint(380, 195), QPoint(380, 300)})
            QVERIFY2(shown.pixel(p) != frame, qPrintable(QStringLiteral("frame at %1,%2").arg(p.x()).arg(p.y())));

        const QString guiMap = run.homeFile(QStringLiteral("map.png"));
        run.dialogs.saveNames = {guiMap};
        test::click(check, "cmdsave");
        QCOMPARE(test::prompts(run.dialogs), QStringList());

        // The tool on the same files: the same count and box, the same map bytes.
        const QString toolMap = run.homeFile(QStringLiteral("tool-map.png"));
        const test::RunResult verified =
            test::runProgram(kTool, {"verify", s(painted), "--watermark", s(watermark), "-t", "30", "--key-file",
                                     s(keyPath), "--id", "astronaut-2026", "--map", s(toolMap)});
        QCOMPARE(verified.err, std::string());
        const QString printed = QString::fromStdString(verified.out);
        QVERIFY2(printed.contains(QStringLiteral("Altered 8x8 blocks: 240 of 11968 checked\n")), qPrintable(printed));
        QVERIFY2(printed.contains(QStringLiteral("Altered area: x 296..455, y 200..295\n")), qPrintable(printed));
        const QByteArray mapBytes = bytesOf(guiMap);
        QVERIFY(!mapBytes.isEmpty());
        QVERIFY2(mapBytes == bytesOf(toolMap), "the saved map differs from the tool's");

        test::click(check, "cmdmain");
        QCOMPARE(test::visibleWindows(), QStringList{"frmmain"});
        registry().get<FrmMain>().hide();
    }
};

QTEST_MAIN(SealAndCheck)
#include "test_seal_and_check.moc"
