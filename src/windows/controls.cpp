#include "windows/controls.h"

#include "imaging/qt_image.h"
#include "platform/platform.h"

#include <QDir>
#include <QImage>
#include <QPixmap>

namespace ombrel::windows {

ImageBox::ImageBox(QWidget *parent, const char *name, QRect geometry) : QLabel(parent) {
    setObjectName(QString::fromLatin1(name));
    setGeometry(geometry);
    setFrameShape(QFrame::Box);
    setScaledContents(true);
}

void ImageBox::showPicture(const Image &picture) {
    if (picture.empty())
        clear();
    else
        setPixmap(QPixmap::fromImage(toQImage(picture)));
}

DriveList::DriveList(QWidget *parent, const char *name, QRect geometry) : QComboBox(parent) {
    setObjectName(QString::fromLatin1(name));
    setGeometry(geometry);
    for (const platform::Drive &d : platform::drives())
        addItem(d.label, d.root);
    connect(this, &QComboBox::currentIndexChanged, this, &DriveList::changed);
}

QString DriveList::drive() const { return currentData().toString(); }

void DriveList::setDrive(const QString &root) {
    const int i = findData(root);
    if (i >= 0)
        setCurrentIndex(i);
}

DirList::DirList(QWidget *parent, const char *name, QRect geometry) : QListWidget(parent) {
    setObjectName(QString::fromLatin1(name));
    setGeometry(geometry);
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) {
        setPath(QDir(path_).absoluteFilePath(item->data(Qt::UserRole).toString()));
    });
}

void DirList::setPath(const QString &path) {
    const QString clean = QDir::cleanPath(path);
    const bool moved = clean != path_;
    path_ = clean;
    clear();
    QDir dir(path_);
    if (!dir.isRoot()) {
        auto *up = new QListWidgetItem(QStringLiteral("[..]"), this);
        up->setData(Qt::UserRole, QStringLiteral(".."));
    }
    for (const QString &sub : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase)) {
        auto *item = new QListWidgetItem(QStringLiteral("[") + sub + QLatin1Char(']'), this);
        item->setData(Qt::UserRole, sub);
    }
    if (moved)
        emit changed();
}

FileList::FileList(QWidget *parent, const char *name, QRect geometry) : QListWidget(parent) {
    setObjectName(QString::fromLatin1(name));
    setGeometry(geometry);
    connect(this, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { emit fileClicked(item->text()); });
}

void FileList::setPath(const QString &path) {
    path_ = path;
    clear();
    QDir dir(path);
    // Without QDir::CaseSensitive the pattern also matches PHOTO.BMP.
    dir.setNameFilters({QStringLiteral("*.bmp")});
    for (const QString &f : dir.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase))
        addItem(f);
}

QString FileList::pathOf(const QString &fileName) const {
    return path_.endsWith(QLatin1Char('/')) ? path_ + fileName : path_ + QLatin1Char('/') + fileName;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption, QRect geometry) {
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(geometry);
    b->setAutoDefault(false);
    return b;
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, QRect geometry,
                  Qt::Alignment align, const QFont &f) {
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(geometry);
    l->setAlignment(align);
    l->setWordWrap(true);
    l->setTextFormat(Qt::PlainText);
    if (f != QFont())
        l->setFont(f);
    return l;
}

QFont makeFont(const char *family, double points, bool bold) {
    QFont f;
    if (*family)
        f.setFamily(QString::fromLatin1(family));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

QString numberText(long long value) {
    return (value >= 0 ? QStringLiteral(" ") : QString()) + QString::number(value);
}

} // namespace ombrel::windows
