// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QWidget>

class QCloseEvent;

namespace ombrel::windows {

enum class Border { FixedSingle, FixedDialog, FixedTool };

// A window of the application: one instance per name, created by the
// registry at first reference, its Form_Load run once its controls exist.
class Window : public QWidget {
    Q_OBJECT
public:
    Window(const char *name, const QString &caption, QSize client, Border border);

    // The window's load handler.
    virtual void formLoad() {}
    // False when the load handler could not read what the window shows.
    virtual bool loadSucceeded() const { return true; }

protected:
    // Closing through the title bar; by default the window is unloaded.
    virtual void titleBarClose();
    void closeEvent(QCloseEvent *event) override;
};

} // namespace ombrel::windows
