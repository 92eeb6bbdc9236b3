// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/surface.h"
#include "gui/scripted.h"
#include "support/folder.h"
#include "windows/registry.h"
#include "windows/session.h"

#include <QString>
#include <QWidget>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

class QPushButton;

namespace ombrel::test {

// A fresh run of the program for one test: its own state, a temporary home
// folder (or the empty folder given), scripted dialogs, every window
// unloaded at the end.
class GuiRun {
public:
    explicit GuiRun(const QString &home = {});
    ~GuiRun();

    platform::ScriptedServices dialogs;
    // What the run's screens are made with; it goes with the run.
    windows::Session session;
    QString home() const;
    QString homeFile(const QString &name) const;
    // Writes a bitmap into the home folder.
    QString putBitmap(const QString &name, const Image &image) const;
    // The sample cover.bmp and watermark.bmp, for either wizard.
    void putSamples() const;

    // Starts the program: the main window, shown.
    QWidget &start();

private:
    std::optional<TempDir> scratch_;
    QString home_;
};

inline windows::Registry &registry() { return windows::Registry::instance(); }

// Clicks a control found by its name inside a window.
void click(QWidget &window, const char *button);
// Clicks a file in a window's file list.
void clickFile(QWidget &window, const char *list, const QString &fileName);
// The prompts of the message boxes shown so far, in order.
QStringList prompts(const platform::ScriptedServices &d);
QStringList titles(const platform::ScriptedServices &d);
// Top-level windows visible now, by name.
QStringList visibleWindows();
// The windows a run left visible at its end; every test's cleanup checks it.
QStringList &leftovers();

// A control of a window by its name; a missing one fails the test loudly.
template <class T>
T &child(QWidget &window, const char *name) {
    if (T *found = window.findChild<T *>(QString::fromLatin1(name)))
        return *found;
    throw std::runtime_error(std::string("no control ") + name);
}

Image greyPicture(int w, int h, int level = 120);
Image loadImage(const QString &path);

} // namespace ombrel::test
