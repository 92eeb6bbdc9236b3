// SPDX-License-Identifier: Apache-2.0
#include "gui/harness.h"

#include "imaging/picture_in.h"
#include "imaging/picture_out.h"
#include "imaging/sample_images.h"
#include "platform/save_folder.h"
#include "windows/controls.h"
#include "windows/frmmain.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <cstdlib>
#include <stdexcept>

namespace ombrel::test {

GuiRun::GuiRun(const QString &home) : home_(home) {
    if (home_.isEmpty())
        home_ = QString::fromStdString(scratch_.emplace().path().string());
    dialogs.homeFolder = home_;
    windows::Registry::instance().useSession(session);
}

GuiRun::~GuiRun() {
    // Noted before the reset hides them all, for the test's cleanup to check.
    leftovers() = visibleWindows();
    windows::Registry::instance().reset();
    // The save dialog's folder is the platform's, not the session's: the
    // next run starts at its own home folder again.
    platform::forgetSaveFolder();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QStringList &leftovers() {
    static QStringList windows;
    return windows;
}

QString GuiRun::home() const { return home_; }

QString GuiRun::homeFile(const QString &name) const { return home() + QLatin1Char('/') + name; }

QString GuiRun::putBitmap(const QString &name, const Image &image) const {
    const QString path = homeFile(name);
    if (!saveBitmap(image, path.toStdString()))
        throw std::runtime_error("cannot write a test bitmap");
    return path;
}

void GuiRun::putSamples() const {
    putBitmap(QStringLiteral("cover.bmp"), sampleCover());
    putBitmap(QStringLiteral("watermark.bmp"), sampleWatermark());
}

QWidget &GuiRun::start() {
    auto &main = windows::Registry::instance().get<windows::FrmMain>();
    main.show();
    return main;
}

void click(QWidget &window, const char *button) {
    auto *b = window.findChild<QPushButton *>(QString::fromLatin1(button));
    if (!b)
        throw std::runtime_error(std::string("no button ") + button);
    QTest::mouseClick(b, Qt::LeftButton);
}

void clickFile(QWidget &window, const char *list, const QString &fileName) {
    auto *files = window.findChild<QListWidget *>(QString::fromLatin1(list));
    if (!files)
        throw std::runtime_error(std::string("no list ") + list);
    const auto found = files->findItems(fileName, Qt::MatchExactly);
    if (found.isEmpty())
        throw std::runtime_error("no file " + fileName.toStdString() + " in the list");
    files->scrollToItem(found.first());
    QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, files->visualItemRect(found.first()).center());
}

QStringList prompts(const platform::ScriptedServices &d) {
    QStringList out;
    for (const auto &m : d.messages)
        out << m.prompt;
    return out;
}

QStringList titles(const platform::ScriptedServices &d) {
    QStringList out;
    for (const auto &m : d.messages)
        out << m.title;
    return out;
}

QStringList visibleWindows() {
    QStringList out;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && !w->objectName().isEmpty())
            out << w->objectName();
    out.sort();
    return out;
}

Image greyPicture(int w, int h, int level) {
    Image image(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int g = (level + x * 3 + y * 7) & 255;
            image.at(x, y) = rgb(g, g, g);
        }
    return image;
}

Image loadImage(const QString &path) {
    auto loaded = loadBitmap(path.toStdString());
    if (!loaded.ok())
        throw std::runtime_error(loaded.error().message());
    return *loaded;
}

} // namespace ombrel::test
