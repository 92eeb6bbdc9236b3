// SPDX-License-Identifier: Apache-2.0
// The key screen and the two buttons that open it: sealing with a key writes
// what the tool writes, extracting with one shows the watermark, refusals
// are the tool's and leave the screen usable, and the passphrase's Argon2id
// runs while the window goes on answering.

#include "cli/cli.h"
#include "gui/harness.h"
#include "imaging/sample_images.h"
#include "windows/frmdecode1.h"
#include "windows/frmdecode2.h"
#include "windows/frmencode1.h"
#include "windows/frmencode2.h"
#include "windows/frmencode3.h"
#include "windows/frmkey.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

#include <sstream>
#include <utility>

using namespace ombrel;
using namespace ombrel::windows;
using test::registry;

namespace {

void putSamples(test::GuiRun &run) {
    run.putBitmap(QStringLiteral("cover.bmp"), sampleCover());
    run.putBitmap(QStringLiteral("watermark.bmp"), sampleWatermark());
}

FrmEncode2 &toEmbedding(test::GuiRun &run) {
    QWidget &main = run.start();
    test::clickFile(main, "File1", QStringLiteral("cover.bmp"));
    test::click(main, "cmdencode");
    FrmEncode1 &chooser = registry().get<FrmEncode1>();
    test::clickFile(chooser, "File2", QStringLiteral("watermark.bmp"));
    test::click(chooser, "cmdnext");
    return registry().get<FrmEncode2>();
}

FrmDecode1 &toExtraction(test::GuiRun &run, const QString &file) {
    QWidget &main = run.start();
    test::clickFile(main, "File1", file);
    test::click(main, "cmddecode");
    return registry().get<FrmDecode1>();
}

// The key screen, with the messages of the walk there forgotten.
FrmKey &openKeyScreen(test::GuiRun &run, QWidget &screen) {
    run.dialogs.messages.clear();
    test::click(screen, "cmdkey");
    FrmKey &key = registry().get<FrmKey>();
    if (!key.isVisible())
        qFatal("the key screen did not open");
    return key;
}

QByteArray bytesOf(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// A file of these bytes with this mode.
void putFile(const QString &path, const QByteArray &bytes, mode_t mode) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    f.close();
    ::chmod(QFile::encodeName(path).constData(), mode);
}

QString putKey(test::GuiRun &run, const QString &name = QStringLiteral("my.key")) {
    const QString path = run.homeFile(name);
    putFile(path, QByteArray("0123456789abcdef0123456789abcdef"), 0600);
    return path;
}

// The tool's answer to the same request.
int tool(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = cli::run(args, out, err);
    if (status != 0)
        qWarning("the tool: %s", err.str().c_str());
    return status;
}

std::string s(const QString &q) { return q.toStdString(); }

// The focusable controls of a window in tab order.
QStringList tabOrder(QWidget &window) {
    QStringList names;
    for (QWidget *w = window.nextInFocusChain(); w != &window; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus)
            names << w->objectName();
    return names;
}

void type(FrmKey &key, const char *field, const QString &text) {
    QLineEdit &edit = test::child<QLineEdit>(key, field);
    edit.setFocus();
    edit.selectAll();
    QTest::keyClicks(&edit, text);
}

// Waits out the key screen's worker; it goes on its own once done.
bool settled(FrmKey *key) { return QTest::qWaitFor([&] { return !registry().loaded<FrmKey>() || !key->busy(); }, 30000); }

} // namespace

class KeyScreen : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QCOMPARE(std::exchange(test::leftovers(), {}), QStringList()); }

    void newButtonsSitInFreeSpaceLastInTheTabOrder_data() {
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRect>("where");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("embedding") << "frmencode2" << "Seal with a key..." << QRect(210, 520, 150, 32)
                                   << QStringList{"cmdback", "cmdnext", "cmdkey"};
        QTest::newRow("extraction") << "frmDecode1" << "Extract with a key..." << QRect(222, 466, 150, 32)
                                    << QStringList{"cmdback", "cmdnext", "cmdkey"};
    }
    void newButtonsSitInFreeSpaceLastInTheTabOrder() {
        QFETCH(QString, screen);
        QFETCH(QString, text);
        QFETCH(QRect, where);
        QFETCH(QStringList, order);
        test::GuiRun run;
        putSamples(run);
        QWidget *window = screen == "frmencode2" ? static_cast<QWidget *>(&toEmbedding(run))
                                                 : &toExtraction(run, QStringLiteral("cover.bmp"));
        QPushButton &key = test::child<QPushButton>(*window, "cmdkey");
        QCOMPARE(key.text(), text);
        QCOMPARE(key.geometry(), where);
        QCOMPARE(tabOrder(*window), order);
        QVERIFY(window->rect().contains(key.geometry()));
        for (QWidget *other : window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (other != &key && other->isVisibleTo(window))
                QVERIFY2(!other->geometry().intersects(key.geometry()), qPrintable(other->objectName()));
        window->hide();
    }

    void keyScreenCarriesItsTexts() {
        test::GuiRun run;
        putSamples(run);
        FrmKey &key = openKeyScreen(run, toEmbedding(run));
        QCOMPARE(key.objectName(), QStringLiteral("frmkey"));
        QCOMPARE(key.windowTitle(), QStringLiteral("Key and id"));
        QCOMPARE(key.size(), QSize(480, 316));
        QVERIFY(key.isModal());
        QStringList texts;
        for (const char *b : {"cmdchoose", "cmdnewkey", "cmduse", "cmdnone", "cmdcancel"})
            texts << test::child<QPushButton>(key, b).text();
        QCOMPARE(texts, (QStringList{"Choose a key file...", "Make a new key...", "Use this key", "Without a key",
                                     "Cancel"}));
        QCOMPARE(tabOrder(key), (QStringList{"optfile", "txtkeyfile", "cmdchoose", "cmdnewkey", "optpass", "txtpass",
                                             "txtagain", "txtid", "cmdcover", "cmduse", "cmdnone", "cmdcancel"}));
        QVERIFY(test::child<QLabel>(key, "lblagain").isVisible());
        QCOMPARE(test::child<QLineEdit>(key, "txtid").text(), QString());
        test::click(key, "cmdcancel");
        QVERIFY(registry().get<FrmEncode2>().isVisible());
        registry().get<FrmEncode2>().hide();

        // Extracting asks for the passphrase once and makes no key. What it
        // does not ask is not merely hidden: a screen reader would still
        // meet a hidden control among the window's.
        FrmKey &reading = openKeyScreen(run, toExtraction(run, QStringLiteral("cover.bmp")));
        for (const char *gone : {"lblagain", "txtagain", "lblcover", "cmdcover"})
            QVERIFY2(!reading.findChild<QWidget *>(QString::fromLatin1(gone)), gone);
        QCOMPARE(tabOrder(reading), (QStringList{"optfile", "txtkeyfile", "cmdchoose", "cmdnewkey", "optpass",
                                                 "txtpass", "txtid", "cmduse", "cmdnone", "cmdcancel"}));
        QVERIFY(!test::child<QPushButton>(reading, "cmdnewkey").isEnabled());
        test::click(reading, "cmdcancel");
        registry().get<FrmDecode1>().hide();
    }

    // A key made on the screen, then the sealing: byte for byte the tool's.
    void newKeySealsAsTheToolDoes() {
        test::GuiRun run;
        putSamples(run);
        FrmKey &key = openKeyScreen(run, toEmbedding(run));
        const QString keyPath = run.homeFile(QStringLiteral("new.key"));
        run.dialogs.saveNames = {keyPath};
        test::click(key, "cmdnewkey");
        QCOMPARE(test::prompts(run.dialogs).size(), 0);
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(keyPath).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0600);
        QCOMPARE(int(st.st_size), 32);
        QCOMPARE(test::child<QLineEdit>(key, "txtkeyfile").text(), keyPath);
        QVERIFY(test::child<QRadioButton>(key, "optfile").isChecked());
        type(key, "txtid", QStringLiteral("holiday-7"));

        run.dialogs.replies = {"12"};
        run.dialogs.saveNames = {run.homeFile(QStringLiteral("sealed.bmp"))};
        test::click(key, "cmduse");
        QVERIFY(settled(&key));
        QTRY_VERIFY(registry().loaded<FrmEncode3>() && registry().get<FrmEncode3>().isVisible());
        QCOMPARE(run.dialogs.prompts, QStringList{"Please enter the threshold value"});

        const QString byTool = run.homeFile(QStringLiteral("tool.bmp"));
        QCOMPARE(tool({"embed", s(run.homeFile("cover.bmp")), s(run.homeFile("watermark.bmp")), "-t", "12", "-o",
                       s(byTool), "--key-file", s(keyPath), "--id", "holiday-7"}),
                 0);
        const QByteArray expected = bytesOf(byTool);
        QVERIFY(!expected.isEmpty());
        QVERIFY(bytesOf(run.homeFile(QStringLiteral("sealed.bmp"))) == expected);
        QVERIFY(bytesOf(run.homeFile(QStringLiteral("output.bmp"))) == expected);
        // ... and not the keyless mark.
        const QString keyless = run.homeFile(QStringLiteral("keyless.bmp"));
        QCOMPARE(tool({"embed", s(run.homeFile("cover.bmp")), s(run.homeFile("watermark.bmp")), "-t", "12", "-o",
                       s(keyless)}),
                 0);
        QVERIFY(bytesOf(keyless) != expected);

        // The key file's path and the id are remembered for the run; the key is not shown.
        FrmEncode3 &done = registry().get<FrmEncode3>();
        test::click(done, "cmdback");
        FrmKey &again = openKeyScreen(run, registry().get<FrmEncode2>());
        QCOMPARE(test::child<QLineEdit>(again, "txtkeyfile").text(), keyPath);
        QCOMPARE(test::child<QLineEdit>(again, "txtid").text(), QStringLiteral("holiday-7"));
        QCOMPARE(test::child<QLineEdit>(again, "txtpass").text(), QString());
        test::click(again, "cmdcancel");
        registry().get<FrmEncode2>().hide();
    }

    void newKeyNeverReplacesAFile() {
        test::GuiRun run;
        putSamples(run);
        FrmKey &key = openKeyScreen(run, toEmbedding(run));
        const QString taken = run.homeFile(QStringLiteral("taken.key"));
        putFile(taken, QByteArray("what was there"), 0600);
        run.dialogs.saveNames = {taken};
        test::click(key, "cmdnewkey");
        QCOMPARE(test::prompts(run.dialogs),
                 QStringList{taken + QStringLiteral(": already exists; keygen never replaces a key")});
        QCOMPARE(bytesOf(taken), QByteArray("what was there"));
        QCOMPARE(test::child<QLineEdit>(key, "txtkeyfile").text(), QString());
        QVERIFY(key.isVisible());
        test::click(key, "cmdcancel");
        registry().get<FrmEncode2>().hide();
    }

    // Each refusal in the tool's words; nothing is embedded and the screen
    // takes the next try.
    void refusalsLeaveTheScreenUsable_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message"); // %1: the key file's path
        QTest::newRow("key file open to others")
            << "open" << "%1: other users can read or write this key file (mode 0644); chmod 600 %1 makes it yours alone";
        QTest::newRow("key too short") << "short" << "%1: the key file holds 8 bytes; a key needs at least 16";
        QTest::newRow("no key file") << "missing" << "Choose a key file, or make a new one";
        QTest::newRow("passphrases differ") << "differ" << "the two passphrases differ; nothing was marked";
        QTest::newRow("empty passphrase") << "empty" << "the passphrase is empty";
    }
    void refusalsLeaveTheScreenUsable() {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        test::GuiRun run;
        putSamples(run);
        FrmKey &key = openKeyScreen(run, toEmbedding(run));
        run.dialogs.replies = {"0"}; // answered only if the embedding ran after all
        const QString path = run.homeFile(QStringLiteral("k.key"));
        if (kind == "open")
            putFile(path, QByteArray(32, 'k'), 0644);
        if (kind == "short")
            putFile(path, QByteArray(8, 'k'), 0600);
        if (kind == "open" || kind == "short")
            type(key, "txtkeyfile", path);
        if (kind == "differ") {
            type(key, "txtpass", QStringLiteral("blue moon"));
            type(key, "txtagain", QStringLiteral("blue mood"));
        }
        if (kind == "empty")
            test::child<QRadioButton>(key, "optpass").click();
        test::click(key, "cmduse");
        QVERIFY(settled(&key));
        QTRY_COMPARE(test::prompts(run.dialogs), QStringList{message.arg(path)});
        QCOMPARE(test::titles(run.dialogs), QStringList{"Key and id"});
        QVERIFY(key.isVisible());
        QVERIFY(test::child<QPushButton>(key, "cmduse").isEnabled());
        QVERIFY(test::child<QLineEdit>(key, "txtid").isEnabled());
        QCOMPARE(run.dialogs.prompts, QStringList()); // no threshold asked: nothing embedded
        QVERIFY(!registry().loaded<FrmEncode3>());
        QVERIFY(!QFile::exists(run.homeFile(QStringLiteral("output.bmp"))));

        // A good key next, and the sealing goes ahead.
        const QString good = putKey(run);
        test::child<QRadioButton>(key, "optfile").click();
        type(key, "txtkeyfile", good);
        run.dialogs.replies = {"0"};
        run.dialogs.saveNames = {run.homeFile(QStringLiteral("sealed.bmp"))};
        test::click(key, "cmduse");
        QVERIFY(settled(&key));
        QTRY_VERIFY(registry().loaded<FrmEncode3>() && registry().get<FrmEncode3>().isVisible());
        registry().get<FrmEncode3>().hide();
    }

    // "Without a key" and the old button write the keyless mark, as before.
    void withoutAKeyIsTheKeylessMark() {
        test::GuiRun run;
        putSamples(run);
        FrmKey &key = openKeyScreen(run, toEmbedding(run));
        type(key, "txtkeyfile", putKey(run));
        run.dialogs.replies = {"0"};
        run.dialogs.saveNames = {run.homeFile(QStringLiteral("plain.bmp"))};
        test::click(key, "cmdnone");
        QVERIFY(registry().get<FrmEncode3>().isVisible());
        const QString byTool = run.homeFile(QStringLiteral("tool.bmp"));
        QCOMPARE(tool({"embed", s(run.homeFile("cover.bmp")), s(run.homeFile("watermark.bmp")), "-o", s(byTool)}), 0);
        QVERIFY(bytesOf(run.homeFile(QStringLiteral("plain.bmp"))) == bytesOf(byTool));
        // The key screen's pick is not carried over to the old button.
        test::click(registry().get<FrmEncode3>(), "cmdback");
        run.dialogs.replies = {"0"};
        run.dialogs.saveNames = {run.homeFile(QStringLiteral("plain2.bmp"))};
        test::click(registry().get<FrmEncode2>(), "cmdnext");
        QVERIFY(bytesOf(run.homeFile(QStringLiteral("plain2.bmp"))) == bytesOf(byTool));
        registry().get<FrmEncode3>().hide();
    }

    // A picture sealed by the tool shows its watermark only through the key.
    void keyedExtractionShowsTheWatermark() {
        test::GuiRun run;
        putSamples(run);
        const QString keyPath = putKey(run);
        const QString sealed = run.homeFile(QStringLiteral("sealed.bmp"));
        QCOMPARE(tool({"embed", s(run.homeFile("cover.bmp")), s(run.homeFile("watermark.bmp")), "-o", s(sealed),
                       "--key-file", s(keyPath), "--id", "no. 3"}),
                 0);
        const QString expected = run.homeFile(QStringLiteral("tool-extracted.bmp"));
        QCOMPARE(tool({"extract", s(sealed), "-o", s(expected), "--key-file", s(keyPath), "--id", "no. 3"}), 0);
        const QString noise = run.homeFile(QStringLiteral("tool-noise.bmp"));
        QCOMPARE(tool({"extract", s(sealed), "-o", s(noise)}), 0);
        QVERIFY(test::loadImage(expected) != test::loadImage(noise));

        FrmDecode1 &extraction = toExtraction(run, QStringLiteral("sealed.bmp"));
        FrmKey &key = openKeyScreen(run, extraction);
        type(key, "txtkeyfile", keyPath);
        type(key, "txtid", QStringLiteral("no. 3"));
        QTest::keyClick(&test::child<QLineEdit>(key, "txtid"), Qt::Key_Return); // Enter is "Use this key"
        QVERIFY(settled(&key));
        QTRY_VERIFY(registry().loaded<FrmDecode2>() && registry().get<FrmDecode2>().isVisible());
        QVERIFY(test::loadImage(run.homeFile(QStringLiteral("watermark.bmp"))) == test::loadImage(expected));

        // Back, and the old Next gives what it always gave: the keyless reading.
        test::click(registry().get<FrmDecode2>(), "cmdback");
        test::click(registry().get<FrmDecode1>(), "cmdnext");
        QVERIFY(registry().get<FrmDecode2>().isVisible());
        QVERIFY(test::loadImage(run.homeFile(QStringLiteral("watermark.bmp"))) == test::loadImage(noise));
        registry().get<FrmDecode2>().hide();
    }

    // Argon2id takes about a second: the window answers meanwhile, shows it
    // is at work, and the sealing then matches the tool's passphrase file.
    void passphraseIsWorkedOffTheWindowThread() {
        test::GuiRun run;
        putSamples(run);
        FrmKey &key = openKeyScreen(run, toEmbedding(run));
        type(key, "txtpass", QStringLiteral("correct horse"));
        type(key, "txtagain", QStringLiteral("correct horse"));
        QVERIFY(test::child<QRadioButton>(key, "optpass").isChecked());
        run.dialogs.replies = {"0"};
        run.dialogs.saveNames = {run.homeFile(QStringLiteral("sealed.bmp"))};
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(10);
        test::click(key, "cmduse");
        // The click came back before the key was made.
        QVERIFY(key.busy());
        QVERIFY(test::child<QProgressBar>(key, "barbusy").isVisible());
        QCOMPARE(test::child<QLabel>(key, "lblbusy").text(), QStringLiteral("Making the key from the passphrase ..."));
        QVERIFY(!test::child<QPushButton>(key, "cmduse").isEnabled());
        QCOMPARE(run.dialogs.prompts, QStringList());
        QVERIFY(settled(&key));
        QVERIFY2(ticks > 3, qPrintable(QString::number(ticks)));
        QTRY_VERIFY(registry().loaded<FrmEncode3>() && registry().get<FrmEncode3>().isVisible());

        const QString phrase = run.homeFile(QStringLiteral("phrase.txt"));
        putFile(phrase, QByteArray("correct horse\n"), 0600);
        const QString byTool = run.homeFile(QStringLiteral("tool.bmp"));
        QCOMPARE(tool({"embed", s(run.homeFile("cover.bmp")), s(run.homeFile("watermark.bmp")), "-o", s(byTool),
                       "--passphrase-file", s(phrase)}),
                 0);
        QVERIFY(bytesOf(run.homeFile(QStringLiteral("sealed.bmp"))) == bytesOf(byTool));
        registry().get<FrmEncode3>().hide();
    }

    // A photograph of another size, picked on the key screen: fitted and
    // sealed as `ombrel embed --fit` seals it, into a PNG.
    void pickedPhotographIsFittedAndSealedAsTheToolDoes() {
        test::GuiRun run;
        putSamples(run);
        const QString photo = run.homeFile(QStringLiteral("coffee.png"));
        QVERIFY(QFile::copy(QStringLiteral("/usr/lib/python3/dist-packages/skimage/data/coffee.png"), photo));
        const QString keyPath = putKey(run);
        FrmKey &key = openKeyScreen(run, toEmbedding(run));
        QCOMPARE(test::child<QLabel>(key, "lblcover").text(), QStringLiteral("Cover: the embedding screen's"));
        run.dialogs.openNames = {photo};
        run.dialogs.answers = {platform::Answer::Yes};
        test::click(key, "cmdcover");
        QCOMPARE(run.dialogs.openFilters,
                 QStringList{"pictures (*.bmp *.png *.tif *.tiff *.ppm)|*.bmp *.png *.tif *.tiff *.ppm|all files (*)|*|"});
        QCOMPARE(test::prompts(run.dialogs),
                 QStringList{"coffee.png is 600 x 400, not 1024 x 768. Fit it: scale it to cover 1024 x 768 and cut "
                             "out the centre?"});
        QCOMPARE(test::child<QLabel>(key, "lblcover").text(), QStringLiteral("Cover: coffee.png, 600 x 400, fitted"));
        run.dialogs.messages.clear();

        type(key, "txtkeyfile", keyPath);
        type(key, "txtid", QStringLiteral("coffee-1"));
        const QString sealed = run.homeFile(QStringLiteral("sealed.png"));
        run.dialogs.replies = {"8"};
        run.dialogs.saveNames = {run.homeFile(QStringLiteral("sealed.jpg")), sealed};
        test::click(key, "cmduse");
        QVERIFY(settled(&key));
        // A lossy name is refused with the tool's reason; the screen stays.
        QTRY_COMPARE(test::prompts(run.dialogs),
                     QStringList{run.homeFile(QStringLiteral("sealed.jpg")) +
                                 QStringLiteral(": .jpg is a lossy format, and lossy compression destroys the "
                                                "watermark; name it .bmp, .png, .tif, .tiff, .ppm or .pgm")});
        QCOMPARE(run.dialogs.filters, QStringList{"png picture (*.png)|*.png|bmp picture (*.bmp)|*.bmp|"});
        QVERIFY(key.isVisible());
        QVERIFY(!QFile::exists(run.homeFile(QStringLiteral("sealed.jpg"))));
        run.dialogs.messages.clear();

        run.dialogs.replies = {"8"};
        test::click(key, "cmduse");
        QVERIFY(settled(&key));
        QTRY_COMPARE(test::prompts(run.dialogs), QStringList{"The sealed picture is saved in " + sealed});
        QVERIFY(!registry().loaded<FrmKey>());
        QVERIFY(registry().get<FrmEncode2>().isVisible());

        const QString byTool = run.homeFile(QStringLiteral("tool.png"));
        QCOMPARE(tool({"embed", s(photo), s(run.homeFile("watermark.bmp")), "-t", "8", "--fit", "-o", s(byTool),
                       "--key-file", s(keyPath), "--id", "coffee-1"}),
                 0);
        QVERIFY(!bytesOf(byTool).isEmpty());
        QVERIFY(bytesOf(sealed) == bytesOf(byTool));
        registry().get<FrmEncode2>().hide();
    }

    // A cover declined at the fit question, or unreadable, is not taken.
    void pickedCoverRefusals_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("fit declined") << "declined";
        QTest::newRow("not a picture") << "garbage";
    }
    void pickedCoverRefusals() {
        QFETCH(QString, kind);
        test::GuiRun run;
        putSamples(run);
        FrmKey &key = openKeyScreen(run, toEmbedding(run));
        QString picked = run.homeFile(QStringLiteral("coffee.png"));
        if (kind == "declined") {
            QVERIFY(QFile::copy(QStringLiteral("/usr/lib/python3/dist-packages/skimage/data/coffee.png"), picked));
            run.dialogs.answers = {platform::Answer::No};
        } else {
            picked = run.homeFile(QStringLiteral("notes.png"));
            putFile(picked, QByteArray("not a picture at all"), 0644);
        }
        run.dialogs.openNames = {picked};
        test::click(key, "cmdcover");
        QCOMPARE(test::prompts(run.dialogs).size(), 1);
        if (kind == "garbage")
            QVERIFY2(test::prompts(run.dialogs)[0].startsWith(picked + QStringLiteral(": ")),
                     qPrintable(test::prompts(run.dialogs)[0]));
        QCOMPARE(test::child<QLabel>(key, "lblcover").text(), QStringLiteral("Cover: the embedding screen's"));
        // The sealing then takes the embedding screen's cover, as ever.
        type(key, "txtkeyfile", putKey(run));
        run.dialogs.replies = {"0"};
        run.dialogs.saveNames = {run.homeFile(QStringLiteral("sealed.bmp"))};
        test::click(key, "cmduse");
        QVERIFY(settled(&key));
        QTRY_VERIFY(registry().loaded<FrmEncode3>() && registry().get<FrmEncode3>().isVisible());
        registry().get<FrmEncode3>().hide();
    }

    // Closed while the key is being made: nothing goes on, nothing is written.
    void closingMidWayAbandonsTheKey() {
        test::GuiRun run;
        putSamples(run);
        FrmKey &key = openKeyScreen(run, toEmbedding(run));
        type(key, "txtpass", QStringLiteral("x"));
        type(key, "txtagain", QStringLiteral("x"));
        run.dialogs.replies = {"0"}; // answered only if the embedding ran after all
        test::click(key, "cmduse");
        QVERIFY(key.busy());
        key.close();
        QVERIFY(!key.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!registry().loaded<FrmKey>(), 30000);
        QTest::qWait(50);
        QCOMPARE(run.dialogs.prompts, QStringList());
        QVERIFY(!QFile::exists(run.homeFile(QStringLiteral("output.bmp"))));
        QVERIFY(!registry().loaded<FrmEncode3>());
        QVERIFY(registry().get<FrmEncode2>().isVisible());
        registry().get<FrmEncode2>().hide();
    }
};

QTEST_MAIN(KeyScreen)
#include "test_key_screen.moc"
