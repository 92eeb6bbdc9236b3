// SPDX-License-Identifier: Apache-2.0
// Choosing pictures, folders and drives from the keyboard; what a screen
// reader is told about each window; the overwrite question for every
// existing file.

#include "gui/harness.h"
#include "gui/tour.h"
#include "imaging/sample_images.h"
#include "windows/controls.h"
#include "windows/frmencode1.h"
#include "windows/frmmain.h"
#include "windows/session.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>

#include <utility>

using namespace ombrel;
using namespace ombrel::windows;
using platform::Answer;
using test::registry;

namespace {

// Three small pictures beside the samples: a.bmp 6 x 4, b.bmp 8 x 6, c.bmp 10 x 8.
void putPictures(test::GuiRun &run) {
    run.putSamples();
    run.putBitmap(QStringLiteral("a.bmp"), test::greyPicture(6, 4));
    run.putBitmap(QStringLiteral("b.bmp"), test::greyPicture(8, 6));
    run.putBitmap(QStringLiteral("c.bmp"), test::greyPicture(10, 8));
}

// The window whose file list is tried, open and ready.
QWidget &openWindow(test::GuiRun &run, const QString &name) {
    QWidget &main = run.start();
    if (name == QLatin1String("frmmain"))
        return main;
    test::clickFile(main, "File1", QStringLiteral("cover.bmp"));
    test::click(main, "cmdencode");
    run.dialogs.messages.clear();
    return registry().get<FrmEncode1>();
}

// A key held down: the first press, the presses the keyboard repeats (each
// after a repeated release), and the one real release.
void holdKey(QWidget *w, Qt::Key key, int repeats) {
    QKeyEvent first(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &first);
    for (int i = 0; i < repeats; ++i) {
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(w, &up);
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(w, &down);
    }
    QKeyEvent last(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(w, &last);
}

QAccessibleInterface *reader(QWidget &w) { return QAccessible::queryAccessibleInterface(&w); }

QStringList itemTexts(const QListWidget &list) {
    QStringList out;
    for (int i = 0; i < list.count(); ++i)
        out << list.item(i)->text();
    return out;
}

// The drive list's entries a screen reader finds selected in its drop-down.
QStringList selectedEntries(QAccessibleInterface *drive) {
    QStringList out;
    QAccessibleInterface *list = drive->child(0);
    for (int i = 0; list && i < list->childCount(); ++i)
        if (list->child(i)->state().selected)
            out << list->child(i)->text(QAccessible::Name);
    return out;
}

void hideAll() {
    for (QWidget *w : QApplication::topLevelWidgets())
        w->hide();
}

} // namespace

class KeysAndReader : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QCOMPARE(std::exchange(test::leftovers(), {}), QStringList()); }

    // Whatever moves the selection takes the file, as a click does: the
    // preview, the size label and the remembered path.
    void keysChooseAFile_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<int>("highlight"); // the row Tab left highlighted, not selected
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("picture");
        const QList<QPair<QString, QStringList>> windows{
            {"frmmain",
             {"Image : b.bmp\n 8x 6", "Image : watermark.bmp\n 512x 512", "Image : a.bmp\n 6x 4",
              "Image : cover.bmp\n 1024x 768", "Image : c.bmp\n 10x 8"}},
            {"frmEncode1", {" 8x 6", " 512x 512", " 6x 4", " 1024x 768", " 10x 8"}},
        };
        for (const auto &[window, labels] : windows) {
            const auto row = [&](const char *what) {
                return &QTest::newRow(qPrintable(window + QStringLiteral(": ") + QLatin1String(what)));
            };
            *row("Down") << window << 0 << QList<int>{Qt::Key_Down} << "b.bmp" << labels[0]
                               << "b.bmp, 8 x 6 pixels";
            *row("End") << window << 0 << QList<int>{Qt::Key_End} << "watermark.bmp" << labels[1]
                        << "watermark.bmp, 512 x 512 pixels";
            *row("End, Home") << window << 0 << QList<int>{Qt::Key_End, Qt::Key_Home} << "a.bmp" << labels[2]
                              << "a.bmp, 6 x 4 pixels";
            *row("typing co") << window << 0 << QList<int>{Qt::Key_C, Qt::Key_O} << "cover.bmp" << labels[3]
                              << "cover.bmp, 1024 x 768 pixels";
            *row("Space on the highlight") << window << 2 << QList<int>{Qt::Key_Space} << "c.bmp" << labels[4]
                                           << "c.bmp, 10 x 8 pixels";
            *row("Enter on the highlight") << window << 2 << QList<int>{Qt::Key_Return} << "c.bmp" << labels[4]
                                           << "c.bmp, 10 x 8 pixels";
        }
    }
    void keysChooseAFile() {
        QFETCH(QString, window);
        QFETCH(int, highlight);
        QFETCH(QList<int>, keys);
        QFETCH(QString, file);
        QFETCH(QString, label);
        QFETCH(QString, picture);
        test::GuiRun run;
        putPictures(run);
        QWidget &w = openWindow(run, window);
        const bool main = window == QLatin1String("frmmain");
        auto &files = test::child<FileList>(w, main ? "File1" : "File2");
        files.setCurrentItem(files.item(highlight), QItemSelectionModel::NoUpdate);
        for (int key : keys)
            QTest::keyClick(&files, Qt::Key(key));
        const Session &session = run.session;
        QCOMPARE(main ? session.cover.path : session.watermark.path, run.homeFile(file));
        QCOMPARE(test::child<QLabel>(w, main ? "lblpro" : "lbl2").text(), label);
        auto &box = test::child<ImageBox>(w, main ? "img1" : "imgwater");
        QVERIFY(box.hasPicture());
        QCOMPARE(box.accessibleDescription(), picture);
        QCOMPARE(run.dialogs.messages.size(), 0);
        hideAll();
    }

    // A held arrow runs over the files without opening them; only the file
    // under the highlight when the key comes up is opened, so unreadable
    // files passed over say nothing.
    void heldKeyOpensWhereItStops_data() {
        QTest::addColumn<int>("repeats");
        QTest::addColumn<QString>("file");   // chosen, or empty
        QTest::addColumn<QString>("label");
        QTest::addColumn<QStringList>("reported");
        QTest::newRow("over two unreadable files") << 2 << "d.bmp" << "Image : d.bmp\n 10x 8" << QStringList{};
        QTest::newRow("stops on an unreadable file") << 1 << "" << "" << QStringList{"c.bmp"};
        QTest::newRow("one press onto an unreadable file") << 0 << "" << "" << QStringList{"b.bmp"};
    }
    void heldKeyOpensWhereItStops() {
        QFETCH(int, repeats);
        QFETCH(QString, file);
        QFETCH(QString, label);
        QFETCH(QStringList, reported);
        test::GuiRun run;
        run.putBitmap(QStringLiteral("a.bmp"), test::greyPicture(6, 4));
        for (const char *bad : {"b.bmp", "c.bmp"}) {
            QFile f(run.homeFile(QLatin1String(bad)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("not a picture");
        }
        run.putBitmap(QStringLiteral("d.bmp"), test::greyPicture(10, 8));
        QWidget &main = run.start();
        test::clickFile(main, "File1", QStringLiteral("a.bmp"));
        holdKey(&test::child<FileList>(main, "File1"), Qt::Key_Down, repeats);
        QStringList named;
        for (const QString &prompt : test::prompts(run.dialogs))
            named << QDir(run.home()).relativeFilePath(prompt.section(QStringLiteral(": "), 0, 0));
        QCOMPARE(named, reported);
        QCOMPARE(run.session.cover.path, file.isEmpty() ? QString() : run.homeFile(file));
        QCOMPARE(test::child<QLabel>(main, "lblpro").text(), label);
        QCOMPARE(test::child<ImageBox>(main, "img1").hasPicture(), !file.isEmpty());
        main.hide();
    }

    // A screen reader's "Toggle" on a file item chooses it.
    void readerActionChoosesAFile() {
        test::GuiRun run;
        putPictures(run);
        QWidget &main = run.start();
        QAccessibleInterface *list = reader(test::child<FileList>(main, "File1"));
        QAccessibleInterface *item = nullptr;
        for (int i = 0; i < list->childCount() && !item; ++i)
            if (list->child(i)->text(QAccessible::Name) == QLatin1String("b.bmp"))
                item = list->child(i);
        QVERIFY(item && item->actionInterface());
        item->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QCOMPARE(run.session.cover.path, run.homeFile(QStringLiteral("b.bmp")));
        QCOMPARE(test::child<QLabel>(main, "lblpro").text(), QStringLiteral("Image : b.bmp\n 8x 6"));
        main.hide();
    }

    // The folder list shows the way down from the root, the current folder
    // marked; Enter and double-click open an entry, above or below.
    void foldersFromTheKeyboard() {
        test::GuiRun run;
        run.putSamples();
        QVERIFY(QDir(run.home()).mkpath(QStringLiteral("pics/deep")));
        run.putBitmap(QStringLiteral("pics/inner.bmp"), test::greyPicture(4, 4));
        QWidget &main = run.start();
        auto &folders = test::child<DirList>(main, "Dir1");
        auto &files = test::child<FileList>(main, "File1");
        const QString homeEntry = QLatin1Char('[') + QDir(run.home()).dirName() + QLatin1Char(']');

        QTest::keyClick(&folders, Qt::Key_Down);
        QTest::keyClick(&folders, Qt::Key_Return);
        QCOMPARE(folders.path(), run.homeFile(QStringLiteral("pics")));
        QCOMPARE(files.path(), run.homeFile(QStringLiteral("pics")));
        QCOMPARE(itemTexts(files), QStringList{"inner.bmp"});
        const QStringList entries = itemTexts(folders);
        QCOMPARE(entries.first(), QStringLiteral("[/]"));
        QCOMPARE(entries.mid(entries.size() - 3), (QStringList{homeEntry, "[pics]", "[deep]"}));
        QCOMPARE(folders.currentItem()->text(), QStringLiteral("[pics]"));
        QCOMPARE(folders.currentItem()->data(Qt::AccessibleDescriptionRole).toString(),
                 QStringLiteral("current folder"));
        QCOMPARE(folders.item(entries.size() - 3)->data(Qt::AccessibleDescriptionRole).toString(),
                 QStringLiteral("open folder"));
        QCOMPARE(folders.item(entries.size() - 1)->data(Qt::AccessibleDescriptionRole).toString(),
                 QStringLiteral("folder"));
        QCOMPARE(folders.accessibleDescription(), QStringLiteral("current folder ") + run.homeFile("pics"));

        // Up to the folder above, by its entry.
        QTest::keyClick(&folders, Qt::Key_Up);
        QTest::keyClick(&folders, Qt::Key_Return);
        QCOMPARE(folders.path(), run.home());
        QCOMPARE(files.count(), 2);

        // Home and Enter: the root.
        QTest::keyClick(&folders, Qt::Key_Home);
        QTest::keyClick(&folders, Qt::Key_Enter);
        QCOMPARE(folders.path(), QStringLiteral("/"));
        QCOMPARE(itemTexts(folders).first(), QStringLiteral("[/]"));
        QCOMPARE(folders.currentRow(), 0);

        // A double-click opens too.
        folders.setPath(run.homeFile(QStringLiteral("pics")));
        const QRect deep = folders.visualItemRect(folders.findItems("[deep]", Qt::MatchExactly).first());
        QTest::mouseClick(folders.viewport(), Qt::LeftButton, {}, deep.center());
        QCOMPARE(folders.path(), run.homeFile(QStringLiteral("pics"))); // one click only highlights
        QTest::mouseDClick(folders.viewport(), Qt::LeftButton, {}, deep.center());
        QCOMPARE(folders.path(), run.homeFile(QStringLiteral("pics/deep")));
        main.hide();
    }

    // Arrows on the drive list change the drive at once.
    void drivesFromTheKeyboard() {
        test::GuiRun run;
        QWidget &main = run.start();
        auto &drive = test::child<DriveList>(main, "Drive1");
        QTest::keyClick(&drive, Qt::Key_Down);
        QCOMPARE(test::child<DirList>(main, "Dir1").path(), QStringLiteral("/"));
        QCOMPARE(test::child<FileList>(main, "File1").path(), QStringLiteral("/"));
        QCOMPARE(reader(drive)->text(QAccessible::Name), QStringLiteral("Drive"));
        QCOMPARE(reader(drive)->text(QAccessible::Value), QStringLiteral("/"));
        QTest::keyClick(&drive, Qt::Key_Up);
        QCOMPARE(test::child<DirList>(main, "Dir1").path(), run.home());
        QCOMPARE(run.session.browsing.folder, run.home());
        main.hide();
    }

    // A screen reader hears where the drive list stands before it is ever
    // opened, and again after each change, in both windows that have one.
    void driveListTellsItsEntry_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("list");
        QTest::newRow("main window") << "frmmain" << "Drive1";
        QTest::newRow("watermark chooser") << "frmEncode1" << "Drive2";
    }
    void driveListTellsItsEntry() {
        QFETCH(QString, window);
        QFETCH(QString, list);
        test::GuiRun run;
        run.putSamples();
        QWidget &w = openWindow(run, window);
        auto &drive = test::child<DriveList>(w, qPrintable(list));
        const QString home = QStringLiteral("c: [") + run.home() + QLatin1Char(']');
        // Read first before any key (Key_unknown), then after Down and after Up.
        for (const auto &[key, entry] : {std::pair{Qt::Key_unknown, home}, {Qt::Key_Down, QStringLiteral("/")},
                                         {Qt::Key_Up, home}}) {
            if (key != Qt::Key_unknown)
                QTest::keyClick(&drive, key);
            QAccessibleInterface *a = reader(drive);
            QCOMPARE(a->text(QAccessible::Name), QStringLiteral("Drive"));
            QCOMPARE(a->text(QAccessible::Description), entry);
            QCOMPARE(a->text(QAccessible::Value), entry);
            QCOMPARE(selectedEntries(a), QStringList{entry});
        }
        hideAll();
    }

    // What a screen reader is told about every window, read at each stop of a
    // walk through both wizards with the sample pictures.
    void readerNamesEveryWindow() {
        struct Told {
            const char *window;
            const char *control; // empty for the window itself
            QAccessible::Role role;
            const char *name;
            const char *description; // nullptr: not checked
        };
        const Told told[] = {
            {"frmmain", "", QAccessible::Window, "Digital Image watermarking in wavelet domain", nullptr},
            {"frmmain", "Drive1", QAccessible::ComboBox, "Drive", nullptr},
            {"frmmain", "Dir1", QAccessible::List, "Folders", nullptr},
            {"frmmain", "File1", QAccessible::List, "Files", "Only (*.bmp)  images can be used"},
            {"frmmain", "img1", QAccessible::Graphic, "Cover/Stego image", "cover.bmp, 1024 x 768 pixels"},
            {"frmEncode1", "", QAccessible::Window, "Choosing the water mark", nullptr},
            {"frmEncode1", "Drive2", QAccessible::ComboBox, "Drive", nullptr},
            {"frmEncode1", "Dir2", QAccessible::List, "Folders", nullptr},
            {"frmEncode1", "File2", QAccessible::List, "Files", "only (*.bmp) images can be used"},
            {"frmEncode1", "imgcover", QAccessible::Graphic, "The cover image", "cover.bmp, 1024 x 768 pixels"},
            {"frmEncode1", "imgwater", QAccessible::Graphic, "The water mark image",
             "watermark.bmp, 512 x 512 pixels"},
            {"frmencode2", "", QAccessible::Window, "Wavelet transform and embedding", nullptr},
            {"frmencode2", "imgcover", QAccessible::Graphic, "Cover image properties",
             "cover.bmp, 1024 x 768 pixels"},
            {"frmencode2", "imgwater", QAccessible::Graphic, "Watermark image properties",
             "watermark.bmp, 512 x 512 pixels"},
            {"frmencode3", "", QAccessible::Window, "Success .... ", nullptr},
            {"frmencode3", "imgwavelet", QAccessible::Graphic, "The wavelet transform level 2 result",
             "wavlettransformresult.bmp, 536 x 536 pixels"},
            {"frmencode3", "imgend", QAccessible::Graphic, "The resulting image after embedding the watermark",
             "output.bmp, 1024 x 768 pixels"},
            {"frmloading", "", QAccessible::Window, "Loading .....", nullptr},
            {"frmAbout", "", QAccessible::Dialog, "About Ombrel's Colored Digital Watermarking ", nullptr},
            {"frmDecode1", "", QAccessible::Dialog, "Extracting the watermark", nullptr},
            {"frmDecode1", "imgmod", QAccessible::Graphic, "You choosed this image to decode the watermark from ...",
             "watermarked.bmp, 1024 x 768 pixels"},
            {"frmdecode2", "", QAccessible::Window, "The watermark", nullptr},
            {"frmdecode2", "imgwater", QAccessible::Graphic, "The embedded watermark is the following image :",
             "watermark.bmp, 512 x 512 pixels"},
        };
        QStringList seen, wrong;
        test::tourWindows(QStringLiteral(OMBREL_SOURCE_DIR "/samples"), [&](QWidget &window) {
            seen << window.objectName();
            for (const Told &t : told) {
                if (window.objectName() != QLatin1String(t.window))
                    continue;
                QWidget *w = *t.control ? window.findChild<QWidget *>(QLatin1String(t.control)) : &window;
                QAccessibleInterface *a = w ? reader(*w) : nullptr;
                const QString where = QLatin1String(t.window) + QLatin1Char(' ') + QLatin1String(t.control);
                if (!a) {
                    wrong << where + QStringLiteral(": not found");
                    continue;
                }
                if (a->role() != t.role)
                    wrong << where + QStringLiteral(": role ") + QString::number(a->role());
                if (a->text(QAccessible::Name) != QLatin1String(t.name))
                    wrong << where + QStringLiteral(": name ") + a->text(QAccessible::Name);
                if (t.description && a->text(QAccessible::Description) != QLatin1String(t.description))
                    wrong << where + QStringLiteral(": description ") + a->text(QAccessible::Description);
            }
        });
        if (!wrong.isEmpty())
            qWarning() << wrong;
        QCOMPARE(wrong, QStringList());
        QCOMPARE(seen, (QStringList{"frmmain", "frmEncode1", "frmencode2", "frmencode3", "frmloading", "frmAbout",
                                    "frmDecode1", "frmdecode2"}));
    }

    // An empty picture box says so.
    void emptyPictureBoxSaysNoPicture() {
        test::GuiRun run;
        QWidget &main = run.start();
        QCOMPARE(reader(test::child<ImageBox>(main, "img1"))->text(QAccessible::Description),
                 QStringLiteral("no picture"));
        main.hide();
    }

    // Saving over any existing file asks first, hidden ones included.
    void everyExistingFileIsAskedAbout_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "notes.bmp";
        QTest::newRow("hidden") << ".notes.bmp";
        QTest::newRow("hidden, no extension") << ".notes";
    }
    void everyExistingFileIsAskedAbout() {
        QFETCH(QString, name);
        test::GuiRun run;
        run.putSamples();
        run.dialogs.replies = {QStringLiteral("0")};
        run.dialogs.saveNames = {QString()};
        QWidget &result = test::embedFromStart(run, [](QWidget &) {});
        const QString path = run.homeFile(name);
        QFile kept(path);
        QVERIFY(kept.open(QIODevice::WriteOnly));
        kept.write("the user's notes");
        kept.close();
        run.dialogs.messages.clear();
        run.dialogs.saveNames = {path};
        run.dialogs.answers = {Answer::Cancel};
        test::click(result, "cmdsave");
        QCOMPARE(test::titles(run.dialogs), QStringList{"File exists"});
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("the user's notes"));
        kept.close();
        run.dialogs.saveNames = {path};
        run.dialogs.answers = {Answer::Yes};
        test::click(result, "cmdsave");
        QVERIFY(test::loadImage(path) == test::loadImage(run.homeFile(QStringLiteral("output.bmp"))));
        result.hide();
    }
};

QTEST_MAIN(KeysAndReader)
#include "test_keys_and_reader.moc"
