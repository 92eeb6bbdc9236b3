// SPDX-License-Identifier: Apache-2.0
#include "windows/window.h"

#include "windows/controls.h"
#include "windows/registry.h"

#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QComboBox>

namespace ombrel::windows {

namespace {

// On Linux Qt names a combo box after its current entry, leaving the label
// to a relation; the drive list has no label on screen, so it carries its
// own name and gives the entry as its value.
class DriveListAccessible : public QAccessibleWidget {
public:
    explicit DriveListAccessible(QComboBox *box) : QAccessibleWidget(box, QAccessible::ComboBox) {}
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Value ? box()->currentText() : QAccessibleWidget::text(t);
    }
    int childCount() const override { return 1; }
    QAccessibleInterface *child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(box()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override {
        return child && child->object() == box()->view() ? 0 : -1;
    }
    QStringList actionNames() const override { return {showMenuAction()}; }
    void doAction(const QString &action) override {
        if (action == showMenuAction())
            box()->showPopup();
    }

private:
    QComboBox *box() const { return static_cast<QComboBox *>(widget()); }
};

// Qt exposes a plain QWidget as a client area ("filler" to a screen reader),
// even when it is a window; ours say what they are. A picture box is a
// picture, whether or not it holds one yet.
QAccessibleInterface *accessibleFor(const QString &className, QObject *object) {
    if (className == QLatin1String(Window::staticMetaObject.className())) {
        auto *w = static_cast<QWidget *>(object);
        return new QAccessibleWidget(w, w->windowType() == Qt::Dialog ? QAccessible::Dialog : QAccessible::Window);
    }
    if (className == QLatin1String(DriveList::staticMetaObject.className()))
        return new DriveListAccessible(static_cast<QComboBox *>(object));
    if (className == QLatin1String(ImageBox::staticMetaObject.className()))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Graphic);
    return nullptr;
}

} // namespace

Window::Window(const char *name, const QString &caption, QSize client, Border border) {
    static const bool accessible = (QAccessible::installFactory(accessibleFor), true);
    (void)accessible;
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
