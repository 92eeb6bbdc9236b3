// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/surface.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace ombrel::windows {

// A display-only picture stretched to the control's fixed size, in a
// single-line border; never read back. A screen reader hears the heading
// above it as its name and what it shows as its description.
class ImageBox : public QLabel {
    Q_OBJECT
public:
    ImageBox(QWidget *parent, const char *name, QRect geometry, QLabel *heading);
    // fileName (without folder) says where the picture came from.
    void showPicture(const Image &picture, const QString &fileName);
    void clear();
    bool hasPicture() const { return !pixmap().isNull(); }
};

// The drive list: "c:" is the home folder; the root and mounted volumes follow.
// A screen reader is told the current entry from the start, as the list's
// description and as the selected entry of its closed drop-down.
class DriveList : public QComboBox {
    Q_OBJECT
public:
    DriveList(QWidget *parent, const char *name, QRect geometry);
    QString drive() const;
    void setDrive(const QString &root);
signals:
    void changed();

private:
    void tellReader();
};

// The folder list, laid out as a tree of one branch: every folder from the
// root down to its path, indented by depth with an open-folder mark, the
// path itself current, then its subfolders one step further in. Activating
// an entry (Enter, double-click) moves there.
class DirList : public QListWidget {
    Q_OBJECT
public:
    DirList(QWidget *parent, const char *name, QRect geometry);
    QString path() const { return path_; }
    void setPath(const QString &path);
signals:
    void changed();

private:
    QString path_;
};

// The file list: the "*.bmp" files of its path, matched without regard to
// case. A file is chosen however it gets selected: a click (again on the
// chosen one too), arrows, Home/End, typing its first letters, Space or
// Enter. While a key is held down the highlight runs over the files without
// opening them; the one under it when the key comes up is chosen.
class FileList : public QListWidget {
    Q_OBJECT
public:
    FileList(QWidget *parent, const char *name, QRect geometry, QLabel *caption);
    QString path() const { return path_; }
    void setPath(const QString &path);
    // Folder path and file name joined with one separator.
    QString pathOf(const QString &fileName) const;
signals:
    void fileClicked(const QString &fileName);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void selectionMoved();
    void chooseSelected();
    // Takes the file a held key left highlighted.
    void settle();

    QString path_;
    bool inKey_ = false;     // a key press is being handled
    bool pending_ = false;   // a key moved the selection; chosen when the key comes up
    bool pressMoved_ = false; // the last mouse press moved the selection itself
};

// Names a control for a screen reader after the visible heading beside it.
void nameAfter(QWidget *control, QLabel *heading);

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption, QRect geometry);
QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, QRect geometry,
                  Qt::Alignment align = Qt::AlignLeft | Qt::AlignTop, const QFont &font = {});
QFont makeFont(const char *family, double points, bool bold = false);

// Decimal text with one leading blank for non-negative numbers.
QString numberText(long long value);

} // namespace ombrel::windows
