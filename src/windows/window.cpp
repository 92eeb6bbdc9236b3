#include "windows/window.h"

#include "windows/registry.h"

#include <QCloseEvent>

namespace ombrel::windows {

Window::Window(const char *name, const QString &caption, QSize client, Border border) {
    setObjectName(QString::fromLatin1(name));
    setWindowTitle(caption);
    setFixedSize(client);
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
    if (border == Border::FixedTool)
        flags = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    else if (border == Border::FixedDialog)
        flags |= Qt::Dialog;
    setWindowFlags(flags);
}

void Window::titleBarClose() { Registry::instance().unload(this); }

void Window::closeEvent(QCloseEvent *event) {
    // The registry decides what closing means; the widget itself is never
    // destroyed behind its back.
    event->ignore();
    titleBarClose();
}

} // namespace ombrel::windows
