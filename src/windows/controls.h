#pragma once

#include "imaging/surface.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace ombrel::windows {

// A display-only picture stretched to the control's fixed size, in a
// single-line border; never read back.
class ImageBox : public QLabel {
    Q_OBJECT
public:
    ImageBox(QWidget *parent, const char *name, QRect geometry);
    void showPicture(const Image &picture);
    bool hasPicture() const { return !pixmap().isNull(); }
};

// The drive list: "c:" is the home folder; the root and mounted volumes follow.
class DriveList : public QComboBox {
    Q_OBJECT
public:
    DriveList(QWidget *parent, const char *name, QRect geometry);
    QString drive() const;
    void setDrive(const QString &root);
signals:
    void changed();
};

// The folder list: ".." and the subfolders of its path; activating one
// moves there.
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

// The file list: the "*.bmp" files of its path, matched without regard to case.
class FileList : public QListWidget {
    Q_OBJECT
public:
    FileList(QWidget *parent, const char *name, QRect geometry);
    QString path() const { return path_; }
    void setPath(const QString &path);
    // Folder path and file name joined with one separator.
    QString pathOf(const QString &fileName) const;
signals:
    void fileClicked(const QString &fileName);

private:
    QString path_;
};

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption, QRect geometry);
QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, QRect geometry,
                  Qt::Alignment align = Qt::AlignLeft | Qt::AlignTop, const QFont &font = {});
QFont makeFont(const char *family, double points, bool bold = false);

// Decimal text with one leading blank for non-negative numbers.
QString numberText(long long value);

} // namespace ombrel::windows
