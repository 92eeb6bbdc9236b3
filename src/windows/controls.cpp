// SPDX-License-Identifier: Apache-2.0
#include "windows/controls.h"

#include "imaging/qt_image.h"
#include "platform/platform.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QPixmap>
#include <QStyle>
#include <QStyledItemDelegate>

#include <utility>

namespace ombrel::windows {

namespace {

constexpr int kDepthRole = Qt::UserRole + 1;
constexpr int kIndentStep = 12;

// Pushes each folder entry right by its depth, as a tree would.
class IndentByDepth : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override {
        QStyleOptionViewItem shifted(option);
        shifted.rect.adjust(indent(index), 0, 0, 0);
        QStyledItemDelegate::paint(painter, shifted, index);
    }
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(indent(index), 0);
    }

private:
    static int indent(const QModelIndex &index) { return index.data(kDepthRole).toInt() * kIndentStep; }
};

} // namespace

void nameAfter(QWidget *control, QLabel *heading) {
    control->setAccessibleName(heading->text().simplified());
    // No mnemonic in the text, so nothing visible changes; readers get the
    // labelled-by relation.
    heading->setBuddy(control);
}

ImageBox::ImageBox(QWidget *parent, const char *name, QRect geometry, QLabel *heading) : QLabel(parent) {
    setObjectName(QString::fromLatin1(name));
    setGeometry(geometry);
    setFrameShape(QFrame::Box);
    setScaledContents(true);
    nameAfter(this, heading);
    clear();
}

void ImageBox::showPicture(const Image &picture, const QString &fileName) {
    if (picture.empty()) {
        clear();
        return;
    }
    setPixmap(QPixmap::fromImage(toQImage(picture)));
    setAccessibleDescription(fileName + QStringLiteral(", ") + QString::number(picture.width) +
                             QStringLiteral(" x ") + QString::number(picture.height) + QStringLiteral(" pixels"));
}

void ImageBox::clear() {
    QLabel::clear();
    setAccessibleDescription(QStringLiteral("no picture"));
}

DriveList::DriveList(QWidget *parent, const char *name, QRect geometry) : QComboBox(parent) {
    setObjectName(QString::fromLatin1(name));
    setGeometry(geometry);
    setAccessibleName(QStringLiteral("Drive"));
    for (const platform::Drive &d : platform::drives())
        addItem(d.label, d.root);
    tellReader();
    connect(this, &QComboBox::currentIndexChanged, this, &DriveList::tellReader);
    connect(this, &QComboBox::currentIndexChanged, this, &DriveList::changed);
}

void DriveList::tellReader() {
    // Over AT-SPI a combo box has no text value, and Qt marks an entry of the
    // drop-down selected only once it has been opened; without this the
    // reader hears "Drive" and nothing of where it stands.
    setAccessibleDescription(currentText());
    view()->selectionModel()->setCurrentIndex(model()->index(currentIndex(), modelColumn(), rootModelIndex()),
                                              QItemSelectionModel::ClearAndSelect);
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
    setAccessibleName(QStringLiteral("Folders"));
    setItemDelegate(new IndentByDepth(this));
    connect(this, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { setPath(item->data(Qt::UserRole).toString()); });
}

void DirList::setPath(const QString &path) {
    const QString clean = QDir::cleanPath(QDir(path_).absoluteFilePath(path));
    const bool moved = clean != path_;
    path_ = clean;
    clear();
    // The folders from the root down to this one.
    QStringList branch{path_};
    for (QString up = QFileInfo(path_).absolutePath(); up != branch.first(); up = QFileInfo(up).absolutePath())
        branch.prepend(up);
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const auto add = [this](const QString &shown, const QString &target, int depth, const QIcon &icon,
                            const QString &what) {
        auto *item = new QListWidgetItem(icon, QStringLiteral("[") + shown + QLatin1Char(']'), this);
        item->setData(Qt::UserRole, target);
        item->setData(kDepthRole, depth);
        item->setData(Qt::AccessibleDescriptionRole, what);
        return item;
    };
    QListWidgetItem *here = nullptr;
    for (int depth = 0; depth < branch.size(); ++depth) {
        const QDir d(branch[depth]);
        const bool current = depth == branch.size() - 1;
        QListWidgetItem *item = add(d.isRoot() ? d.absolutePath() : d.dirName(), d.absolutePath(), depth, open,
                                    current ? QStringLiteral("current folder") : QStringLiteral("open folder"));
        if (current)
            here = item;
    }
    const QDir dir(path_);
    for (const QString &sub : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase))
        add(sub, dir.absoluteFilePath(sub), static_cast<int>(branch.size()), closed, QStringLiteral("folder"));
    QFont bold = here->font();
    bold.setBold(true);
    here->setFont(bold);
    // The highlight starts where the user is, so arrows go from there.
    setCurrentItem(here);
    setAccessibleDescription(QStringLiteral("current folder ") + QDir::toNativeSeparators(path_));
    if (moved)
        emit changed();
}

FileList::FileList(QWidget *parent, const char *name, QRect geometry, QLabel *caption) : QListWidget(parent) {
    setObjectName(QString::fromLatin1(name));
    setGeometry(geometry);
    setAccessibleName(QStringLiteral("Files"));
    setAccessibleDescription(caption->text());
    caption->setBuddy(this);
    connect(this, &QListWidget::itemSelectionChanged, this, &FileList::selectionMoved);
    // A click on the file already chosen opens it again, as any click does.
    connect(this, &QListWidget::itemClicked, this, [this] {
        if (!std::exchange(pressMoved_, false))
            chooseSelected();
    });
    // Enter on a highlighted file that Tab left unselected takes it.
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) {
        if (!item->isSelected())
            setCurrentItem(item);
    });
}

void FileList::selectionMoved() {
    if (inKey_)
        pending_ = true;
    else
        chooseSelected();
}

void FileList::chooseSelected() {
    const QList<QListWidgetItem *> picked = selectedItems();
    if (!picked.isEmpty())
        emit fileClicked(picked.first()->text());
}

void FileList::settle() {
    if (std::exchange(pending_, false))
        chooseSelected();
}

void FileList::keyPressEvent(QKeyEvent *event) {
    inKey_ = true;
    QListWidget::keyPressEvent(event);
    inKey_ = false;
}

void FileList::keyReleaseEvent(QKeyEvent *event) {
    QListWidget::keyReleaseEvent(event);
    if (!event->isAutoRepeat())
        settle();
}

void FileList::mousePressEvent(QMouseEvent *event) {
    settle();
    pressMoved_ = false;
    const QList<QListWidgetItem *> before = selectedItems();
    QListWidget::mousePressEvent(event);
    pressMoved_ = selectedItems() != before;
}

void FileList::focusOutEvent(QFocusEvent *event) {
    // A key let go elsewhere, or a button pressed with the key still down.
    settle();
    QListWidget::focusOutEvent(event);
}

void FileList::setPath(const QString &path) {
    path_ = path;
    pending_ = false;
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
