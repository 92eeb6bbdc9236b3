// SPDX-License-Identifier: Apache-2.0
// The check window: opened from the main window, driven from the keyboard,
// its verdicts, count, box and saved map against what `ombrel verify --map`
// prints and writes for the same files, its refusals and its saves, and a
// check left behind when the window goes.

#include "gui/harness.h"
#include "gui/tour.h"
#include "support/folder.h"
#include "support/process.h"
#include "marking/pictures.h"
#include "stego/verify.h"
#include "windows/controls.h"
#include "windows/frmcheck.h"
#include "windows/frmmain.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QThreadPool>

#include <filesystem>
#include <string>
#include <vector>

using namespace ombrel;
using namespace ombrel::windows;
using test::child;
using test::registry;

namespace {

const std::string kTool = OMBREL_BINARY;
const QString kCoffee = QStringLiteral("/usr/lib/python3/dist-packages/skimage/data/coffee.png");

// The pictures every test checks, made once with the tool itself, at a
// threshold that writes other bits than 0 does: a keyless mark of the sample cover, a photograph sealed with a key file and one
// with a passphrase, and copies of each with a region painted over.
struct Fixtures {
    test::TempDir dir;
    QString file(const char *name) const { return QString::fromStdString(dir.file(name)); }
};
Fixtures *fixtures = nullptr;

void tool(const std::vector<std::string> &args) {
    const test::RunResult r = test::runProgram(kTool, args);
    if (r.code != 0)
        qFatal("ombrel %s failed: %s", args[0].c_str(), r.err.c_str());
}

// A region painted over, as any image editor would.
void paint(const QString &from, const QString &to, QRect region) {
    QImage image(from);
    QPainter(&image).fillRect(region, QColor(31, 63, 201));
    if (!image.save(to))
        qFatal("cannot write %s", qPrintable(to));
}

QWidget &openCheck(test::GuiRun &run) {
    QWidget &main = run.start();
    return test::press(main, "cmdcheck", "frmcheck");
}

void type(QWidget &window, const char *field, const QString &text) {
    auto &edit = child<QLineEdit>(window, field);
    edit.clear();
    if (!text.isEmpty())
        QTest::keyClicks(&edit, text);
}

bool waitForCheck(QWidget &window) {
    return QTest::qWaitFor([&] { return !static_cast<FrmCheck &>(window).busy(); }, 60000);
}

QString labelText(QWidget &window, const char *label) { return child<QLabel>(window, label).text(); }

// The lines of a text that begin with one of the prefixes.
QStringList linesStarting(const QString &text, const QStringList &prefixes) {
    QStringList out;
    for (const QString &line : text.split(QLatin1Char('\n')))
        for (const QString &p : prefixes)
            if (line.startsWith(p))
                out << line;
    return out;
}

QByteArray bytesOf(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class CheckWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        fixtures = new Fixtures;
        const std::string wm = OMBREL_SOURCE_DIR "/samples/watermark.bmp";
        const auto at = [](const char *name) { return fixtures->dir.file(name); };
        tool({"embed", OMBREL_SOURCE_DIR "/samples/cover.bmp", wm, "-t", "40", "-o", at("marked.bmp")});
        tool({"keygen", at("key")});
        tool({"keygen", at("other-key")});
        tool({"embed", kCoffee.toStdString(), wm, "--fit", "-t", "40", "-o", at("sealed.png"), "--key-file",
              at("key"), "--id", "coffee"});
        fixtures->dir.writePrivate("passphrase", "open sesame\n");
        tool({"embed", kCoffee.toStdString(), wm, "--fit", "-t", "40", "-o", at("coffee.png"),
              "--passphrase-file", at("passphrase"), "--id-from-name"});
        paint(fixtures->file("marked.bmp"), fixtures->file("marked-painted.png"), QRect(100, 200, 100, 64));
        paint(fixtures->file("sealed.png"), fixtures->file("sealed-painted.png"), QRect(560, 296, 200, 128));
        QFile::copy(OMBREL_SOURCE_DIR "/samples/watermark.bmp", fixtures->file("watermark.bmp"));
    }
    void cleanupTestCase() { delete fixtures; }
    void cleanup() { QCOMPARE(std::exchange(test::leftovers(), {}), QStringList()); }

    // One new button on the main window, in the room between About and Exit,
    // last in the tab order; it opens the check with the picture chosen there.
    void mainWindowOpensTheCheck() {
        test::GuiRun run;
        run.putSamples();
        QWidget &main = run.start();
        auto &button = child<QPushButton>(main, "cmdcheck");
        QCOMPARE(button.text(), QStringLiteral("Check the image for changes"));
        QCOMPARE(button.geometry(), QRect(226, 600, 293, 30));
        QStringList order;
        for (QWidget *w = main.nextInFocusChain(); w != &main; w = w->nextInFocusChain())
            if (w->parentWidget() == &main && (w->focusPolicy() & Qt::TabFocus))
                order << w->objectName();
        QCOMPARE(order, (QStringList{"Drive1", "Dir1", "File1", "cmdload", "cmdencode", "cmddecode", "cmdabout",
                                     "cmdexit", "cmdcheck"}));
        test::clickFile(main, "File1", QStringLiteral("cover.bmp"));
        QWidget &check = test::press(main, "cmdcheck", "frmcheck");
        QCOMPARE(test::visibleWindows(), QStringList{"frmcheck"});
        QCOMPARE(check.windowTitle(), QStringLiteral("Check the image for changes"));
        QCOMPARE(check.size(), QSize(880, 610));
        QCOMPARE(child<QLineEdit>(check, "txtpicture").text(), run.homeFile(QStringLiteral("cover.bmp")));
        QCOMPARE(labelText(check, "lblverdict"), QStringLiteral("Not checked yet"));
        QVERIFY(!child<QPushButton>(check, "cmdsave").isEnabled());
        QVERIFY(!child<QProgressBar>(check, "prgbusy").isVisible());
        // Nothing was chosen: the field starts empty, and the main menu is
        // the main window afresh.
        test::click(check, "cmdmain");
        QCOMPARE(test::visibleWindows(), QStringList{"frmmain"});
        QCOMPARE(test::press(registry().get<FrmMain>(), "cmdcheck", "frmcheck").findChild<QLineEdit *>("txtpicture")->text(),
                 QString());
        test::click(test::shownWindow("frmcheck"), "cmdmain");
        registry().get<FrmMain>().hide();
    }

    // Each picture checked through the window, typed in from the keyboard
    // and checked with Enter, and by the tool with the same files: the words
    // the window shows, and the tool's count, box, NC line and map bytes.
    void verdictsAgreeWithTheTool_data() {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("keyFile");
        QTest::addColumn<QString>("passphrase");
        QTest::addColumn<QString>("id"); // "*" for the file name
        QTest::addColumn<QString>("verdict");
        // What the tool prints; under a key made afresh each run, a changed
        // region's NC is not known beforehand, only that both agree on it.
        QTest::addColumn<QStringList>("toolLines");
        const QString intact = QStringLiteral("Intact: every one of the 868035 carried bits is as it was %1");
        const QString none = QStringLiteral("No block matches: not sealed with this key and id, or replaced whole");
        const QString untouchedNc = QStringLiteral("NC of the extracted watermark: 0.996882");
        QTest::newRow("keyless, untouched")
            << "marked.bmp" << "" << "" << "" << intact.arg("marked")
            << QStringList{"Altered 8x8 blocks: 0 of 11968 checked", untouchedNc};
        QTest::newRow("keyless, painted over")
            << "marked-painted.png" << "" << "" << ""
            << "Altered: 104 of 11968 blocks changed, in x 96..199, y 200..263"
            << QStringList{"Altered 8x8 blocks: 104 of 11968 checked", "Altered area: x 96..199, y 200..263",
                           "NC of the extracted watermark: 0.986047"};
        QTest::newRow("sealed, untouched, right key")
            << "sealed.png" << "key" << "" << "coffee" << intact.arg("sealed")
            << QStringList{"Altered 8x8 blocks: 0 of 11968 checked", untouchedNc};
        QTest::newRow("sealed, painted over, right key")
            << "sealed-painted.png" << "key" << "" << "coffee"
            << "Altered: 400 of 11968 blocks changed, in x 560..759, y 296..423"
            << QStringList{"Altered 8x8 blocks: 400 of 11968 checked", "Altered area: x 560..759, y 296..423"};
        QTest::newRow("sealed, another key")
            << "sealed.png" << "other-key" << "" << "coffee" << none
            << QStringList{"Altered 8x8 blocks: 11968 of 11968 checked"};
        QTest::newRow("sealed, another id")
            << "sealed.png" << "key" << "" << "tea" << none
            << QStringList{"Altered 8x8 blocks: 11968 of 11968 checked"};
        QTest::newRow("passphrase, id from the name")
            << "coffee.png" << "" << "open sesame" << "*" << intact.arg("sealed")
            << QStringList{"Altered 8x8 blocks: 0 of 11968 checked", untouchedNc};
    }
    void verdictsAgreeWithTheTool() {
        QFETCH(QString, picture);
        QFETCH(QString, keyFile);
        QFETCH(QString, passphrase);
        QFETCH(QString, id);
        QFETCH(QString, verdict);
        QFETCH(QStringList, toolLines);
        test::GuiRun run;
        QWidget &check = openCheck(run);
        type(check, "txtpicture", fixtures->file(qPrintable(picture)));
        type(check, "txtwatermark", fixtures->file("watermark.bmp"));
        auto &threshold = child<QSpinBox>(check, "spnthreshold");
        threshold.selectAll();
        QTest::keyClicks(&threshold, QStringLiteral("40"));
        if (!keyFile.isEmpty())
            type(check, "txtkeyfile", fixtures->file(qPrintable(keyFile)));
        type(check, "txtpassphrase", passphrase);
        if (id == QLatin1String("*"))
            QTest::keyClick(&child<QCheckBox>(check, "chkidfromname"), Qt::Key_Space);
        else
            type(check, "txtid", id);
        QTest::keyClick(&child<QLineEdit>(check, "txtpassphrase"), Qt::Key_Return);
        QVERIFY(waitForCheck(check));
        QCOMPARE(labelText(check, "lblverdict"), verdict);
        QCOMPARE(run.dialogs.messages.size(), 0);
        // The heading says what is shown: a map, or the picture as it is
        // when no block matches; a screen reader hears the same.
        const QString heading = verdict.startsWith(QLatin1String("No block matches"))
                                    ? QStringLiteral("The picture as it is: no block matches, so nothing is marked")
                                    : QStringLiteral("Altered blocks in red, the altered area framed");
        QCOMPARE(labelText(check, "lblmap"), heading);
        QCOMPARE(child<ImageBox>(check, "imgmap").accessibleName(), heading);
        // The verdict has the focus, so a screen reader reads it out.
        QCOMPARE(QApplication::focusWidget(), &child<QLabel>(check, "lblverdict"));
        QCOMPARE(child<ImageBox>(check, "imgmap").accessibleDescription(), picture + QStringLiteral(": ") + verdict);

        const QString guiMap = run.homeFile(QStringLiteral("map.png"));
        run.dialogs.saveNames = {guiMap};
        test::click(check, "cmdsave");
        QCOMPARE(run.dialogs.filters, QStringList{"PNG picture|*.png|BMP picture|*.bmp|"});

        const QString toolMap = run.homeFile(QStringLiteral("tool-map.png"));
        std::vector<std::string> args = {"verify", fixtures->dir.file(picture.toStdString()), "--watermark",
                                         fixtures->dir.file("watermark.bmp"), "-t", "40", "--map",
                                         toolMap.toStdString()};
        if (!keyFile.isEmpty())
            args.insert(args.end(), {"--key-file", fixtures->dir.file(keyFile.toStdString())});
        if (!passphrase.isEmpty())
            args.insert(args.end(), {"--passphrase-file", fixtures->dir.file("passphrase")});
        if (id == QLatin1String("*"))
            args.push_back("--id-from-name");
        else if (!id.isEmpty())
            args.insert(args.end(), {"--id", id.toStdString()});
        const test::RunResult r = test::runProgram(kTool, args);
        QCOMPARE(r.err, std::string());
        const QString printed = QString::fromStdString(r.out);
        for (const QString &line : toolLines)
            QVERIFY2(printed.contains(line + QLatin1Char('\n')), qPrintable(printed));
        // The window says what the tool says, count, box and NC alike.
        const QStringList counted =
            linesStarting(printed, {QStringLiteral("Altered 8x8 blocks: "), QStringLiteral("Altered area: ")});
        QVERIFY(verdict.startsWith(QLatin1String("Altered: ")) == (counted.size() == 2));
        if (counted.size() == 2)
            QCOMPARE(verdict, QStringLiteral("Altered: ") + counted[0].section(' ', 3, 5) +
                                  QStringLiteral(" blocks changed, in ") + counted[1].mid(14));
        QCOMPARE(labelText(check, "lblnc") + QLatin1Char('\n'),
                 linesStarting(printed, {QStringLiteral("NC of the extracted")}).value(0) + QLatin1Char('\n'));
        const QByteArray mapBytes = bytesOf(guiMap);
        QVERIFY(!mapBytes.isEmpty());
        QVERIFY2(mapBytes == bytesOf(toolMap), "the saved map differs from the tool's");
        test::click(check, "cmdmain");
        registry().get<FrmMain>().hide();
    }

    // The window shows the tool's map with the altered area framed just
    // outside it; with no block matching, the picture itself.
    void theMapAsShown() {
        const Surface sealed(marking::load(fixtures->dir.file("sealed-painted.png")));
        CheckRequest asked{fixtures->dir.file("sealed-painted.png"), fixtures->dir.file("watermark.bmp"), 40, {}};
        asked.key.source = marking::KeyChoice::Source::KeyFile;
        asked.key.path = fixtures->dir.file("key");
        asked.key.ids.id = "coffee";
        const CheckOutcome altered = runCheck(asked);
        QVERIFY(!altered.refusal);
        const Image shown = shownMap(altered.image, altered.check);
        const Image map = tamperMap(altered.image.image(), altered.check.report);
        const ColourWord frame = rgb(255, 214, 0);
        // The box is x 560..759, y 296..423; the frame is 4 pixels wide round it.
        for (const auto &[x, y] : std::vector<std::pair<int, int>>{{556, 292}, {559, 300}, {763, 427}, {700, 424}})
            QCOMPARE(shown.at(x, y), frame);
        for (const auto &[x, y] : std::vector<std::pair<int, int>>{{560, 296}, {759, 423}, {555, 300}, {700, 428},
                                                                   {10, 10}})
            QCOMPARE(shown.at(x, y), map.at(x, y));

        // A box that reaches the picture's edges is framed inside them.
        MarkReport whole = altered.check.report;
        whole.alteredBox = {0, 0, 1023, 767};
        const Image edge = shownMap(altered.image, {whole, true, 0});
        for (const auto &[x, y] : std::vector<std::pair<int, int>>{{0, 0}, {3, 400}, {1020, 767}, {500, 764}})
            QCOMPARE(edge.at(x, y), frame);
        QCOMPARE(edge.at(4, 400), tamperMap(altered.image.image(), whole).at(4, 400));

        asked.key.ids.id = "tea";
        const CheckOutcome none = runCheck(asked);
        QVERIFY(shownMap(none.image, none.check) == sealed.image());
    }

    // Refusals come in one line each, the tool's where the tool has one; the
    // window stays and checks again.
    void refusalsLeaveTheWindowUsable_data() {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("keyFile");
        QTest::addColumn<QString>("passphrase");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("message"); // %1 the home folder, %2 the fixtures'
        QTest::newRow("not a picture") << "%1/notes.png" << "" << "" << ""
                                       << "%1/notes.png: not a picture this program reads (BMP, PNG, TIFF, PPM or PGM)";
        QTest::newRow("missing") << "%1/gone.png" << "" << "" << "" << "%1/gone.png: no such file";
        QTest::newRow("wrong size")
            << "%1/small.png" << "" << "" << ""
            << "%1/small.png: The image is not 1024x768, please choose an image with 1024x768 dimensions";
        QTest::newRow("key open to others")
            << "%2/sealed.png" << "%1/open-key" << "" << ""
            << "%1/open-key: other users can read or write this key file (mode 0644); chmod 600 %1/open-key "
               "makes it yours alone";
        QTest::newRow("no picture") << "" << "" << "" << "" << "Please choose the picture to check";
        QTest::newRow("key file and passphrase")
            << "%2/sealed.png" << "%2/key" << "x" << "" << "Give the key file or the passphrase, not both";
        QTest::newRow("id without a key") << "%2/sealed.png" << "" << "" << "coffee"
                                          << "An id belongs to a sealed picture: give its key file or passphrase too";
    }
    void refusalsLeaveTheWindowUsable() {
        QFETCH(QString, picture);
        QFETCH(QString, keyFile);
        QFETCH(QString, passphrase);
        QFETCH(QString, id);
        QFETCH(QString, message);
        test::GuiRun run;
        const auto fill = [&](QString s) { return s.replace("%1", run.home()).replace("%2", fixtures->file("").chopped(1)); };
        QFile notes(run.homeFile(QStringLiteral("notes.png")));
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("not a picture\n") > 0);
        notes.close();
        QVERIFY(QImage(100, 100, QImage::Format_RGB32).save(run.homeFile(QStringLiteral("small.png"))));
        QFile::copy(fixtures->file("key"), run.homeFile(QStringLiteral("open-key")));
        QFile::setPermissions(run.homeFile(QStringLiteral("open-key")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        QWidget &check = openCheck(run);
        type(check, "txtpicture", fill(picture));
        type(check, "txtwatermark", fixtures->file("watermark.bmp"));
        type(check, "txtkeyfile", fill(keyFile));
        type(check, "txtpassphrase", passphrase);
        type(check, "txtid", id);
        test::click(check, "cmdrun");
        QVERIFY(waitForCheck(check));
        QCOMPARE(test::prompts(run.dialogs), QStringList{fill(message)});
        QVERIFY(check.isVisible());
        QVERIFY(child<QPushButton>(check, "cmdrun").isEnabled());
        QVERIFY(!child<QPushButton>(check, "cmdsave").isEnabled());
        // Put right, the same window checks.
        type(check, "txtpicture", fixtures->file("marked.bmp"));
        type(check, "txtkeyfile", QString());
        type(check, "txtpassphrase", QString());
        type(check, "txtid", QString());
        child<QSpinBox>(check, "spnthreshold").setValue(40);
        test::click(check, "cmdrun");
        QVERIFY(waitForCheck(check));
        QCOMPARE(labelText(check, "lblverdict"),
                 QStringLiteral("Intact: every one of the 868035 carried bits is as it was marked"));
        test::click(check, "cmdmain");
        registry().get<FrmMain>().hide();
    }

    // The map is saved as the tool writes it, or not at all: a lossy name,
    // and a grey-only format for a map in colour, are refused with the
    // tool's reason; No to replacing asks for another name.
    void savingTheMap() {
        test::GuiRun run;
        QWidget &check = openCheck(run);
        type(check, "txtpicture", fixtures->file("marked-painted.png"));
        type(check, "txtwatermark", fixtures->file("watermark.bmp"));
        child<QSpinBox>(check, "spnthreshold").setValue(40);
        test::click(check, "cmdrun");
        QVERIFY(waitForCheck(check));
        const QString jpg = run.homeFile(QStringLiteral("map.jpg"));
        const QString pgm = run.homeFile(QStringLiteral("map.pgm"));
        run.dialogs.saveNames = {jpg};
        test::click(check, "cmdsave");
        run.dialogs.saveNames = {pgm};
        test::click(check, "cmdsave");
        QCOMPARE(test::prompts(run.dialogs),
                 (QStringList{jpg + ": .jpg is a lossy format, and lossy compression destroys the watermark; name "
                                    "it .bmp, .png, .tif, .tiff, .ppm or .pgm",
                              pgm + ": a PGM file holds grey pictures only, and this one has colour; name it .bmp, "
                                    ".png, .tif, .tiff or .ppm"}));
        QCOMPARE(test::entriesOf(run.home().toStdString()), std::set<std::string>{});

        const QString bmp = run.homeFile(QStringLiteral("map.bmp"));
        QVERIFY(QFile(bmp).open(QIODevice::WriteOnly));
        const QString other = run.homeFile(QStringLiteral("other.bmp"));
        run.dialogs.messages.clear();
        run.dialogs.saveNames = {bmp, other};
        run.dialogs.answers = {platform::Answer::No};
        test::click(check, "cmdsave");
        QCOMPARE(test::titles(run.dialogs), QStringList{"Save the map"});
        QCOMPARE(QFile(bmp).size(), 0);
        QVERIFY(QFile::exists(other));
        QCOMPARE(test::loadImage(other).width, 1024); // a bitmap, as the name asks
        QCOMPARE(test::entriesOf(run.home().toStdString()), (std::set<std::string>{"map.bmp", "other.bmp"}));
        test::click(check, "cmdmain");
        registry().get<FrmMain>().hide();
    }

    // "Choose..." opens the file dialog for the field, offering the formats
    // the program reads, and fills the field with the choice.
    void choosingFiles() {
        test::GuiRun run;
        QWidget &check = openCheck(run);
        run.dialogs.openNames = {QStringLiteral("/x/picture.tif"), QStringLiteral("/x/wm.pgm"),
                                 QStringLiteral("/x/key")};
        for (const char *button : {"cmdpicture", "cmdwatermark", "cmdkeyfile"})
            test::click(check, button);
        test::click(check, "cmdpicture"); // cancelled: the field keeps its text
        QCOMPARE(child<QLineEdit>(check, "txtpicture").text(), QStringLiteral("/x/picture.tif"));
        QCOMPARE(child<QLineEdit>(check, "txtwatermark").text(), QStringLiteral("/x/wm.pgm"));
        QCOMPARE(child<QLineEdit>(check, "txtkeyfile").text(), QStringLiteral("/x/key"));
        const QString pictures = QStringLiteral(
            "Pictures (*.bmp *.png *.tif *.tiff *.ppm *.pgm)|*.bmp *.png *.tif *.tiff *.ppm *.pgm|All files|*|");
        QCOMPARE(run.dialogs.openFilters, (QStringList{pictures, pictures, "Key files|*|", pictures}));
        QCOMPARE(run.dialogs.openTitles,
                 (QStringList{"Choose the picture to check", "Choose the watermark it should carry",
                              "Choose the key file it was sealed with", "Choose the picture to check"}));
        test::click(check, "cmdmain");
        registry().get<FrmMain>().hide();
    }

    // The window goes while a check runs (a passphrase takes about a second):
    // the busy sign showed, nothing is reported afterwards, nothing is
    // written, and the program goes on.
    void closingMidCheck_data() {
        QTest::addColumn<bool>("titleBar");
        QTest::newRow("main menu") << false;
        QTest::newRow("title bar") << true;
    }
    void closingMidCheck() {
        QFETCH(bool, titleBar);
        test::GuiRun run;
        QWidget &check = openCheck(run);
        type(check, "txtpicture", fixtures->file("coffee.png"));
        type(check, "txtwatermark", fixtures->file("watermark.bmp"));
        type(check, "txtpassphrase", QStringLiteral("not the one"));
        test::click(check, "cmdrun");
        // Under way on a thread of its own, the window free meanwhile.
        QVERIFY(QThreadPool::globalInstance()->activeThreadCount() > 0);
        QVERIFY(static_cast<FrmCheck &>(check).busy());
        QVERIFY(child<QProgressBar>(check, "prgbusy").isVisible());
        QVERIFY(child<QLabel>(check, "lblbusy").isVisible());
        QVERIFY(!child<QPushButton>(check, "cmdrun").isEnabled());
        if (titleBar)
            check.close();
        else
            test::click(check, "cmdmain");
        QCOMPARE(test::visibleWindows(), QStringList{"frmmain"});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!registry().loaded<FrmCheck>());
        QVERIFY(QThreadPool::globalInstance()->waitForDone(60000));
        QCoreApplication::processEvents();
        QCOMPARE(run.dialogs.messages.size(), 0);
        QCOMPARE(test::visibleWindows(), QStringList{"frmmain"});
        QCOMPARE(test::entriesOf(run.home().toStdString()), std::set<std::string>{});
        registry().get<FrmMain>().hide();
    }
};

QTEST_MAIN(CheckWindow)
#include "test_check_window.moc"
