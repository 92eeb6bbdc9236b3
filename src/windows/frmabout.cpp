#include "windows/frmabout.h"

#include "platform/platform.h"
#include "stego/intake.h"
#include "windows/controls.h"
#include "windows/registry.h"

#include <QDir>
#include <QFrame>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace ombrel::windows {

namespace {

// Our own 32 x 32 emblem: an umbrella in a ring.
QPixmap drawIcon() {
    QPixmap icon(32, 32);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 90), 2));
    p.setBrush(QColor(235, 235, 245));
    p.drawEllipse(QRectF(1.5, 1.5, 29, 29));
    QPainterPath canopy;
    canopy.moveTo(6, 16);
    canopy.arcTo(QRectF(6, 6, 20, 20), 180, -180);
    canopy.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 90, 60));
    p.drawPath(canopy);
    p.setPen(QPen(QColor(40, 40, 40), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(16, 16), QPointF(16, 24));
    p.drawArc(QRectF(12, 21, 4, 5), 0, -180 * 16);
    return icon;
}

} // namespace

FrmAbout::FrmAbout()
    : Window("frmAbout", QStringLiteral("About MyApp"), QSize(407, 307), Border::FixedDialog) {
    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setGeometry(16, 16, 32, 32);
    picIcon->setPixmap(drawIcon());
    lblTitle = makeLabel(this, "lblTitle", QStringLiteral("Application Title"), QRect(64, 16, 327, 22),
                         Qt::AlignLeft | Qt::AlignTop, makeFont("", 9.75, true));
    lblVersion = makeLabel(this, "lblVersion", QStringLiteral("Version"), QRect(64, 42, 327, 18));
    lblDescription = makeLabel(
        this, "lblDescription",
        QStringLiteral("Encoding watermarks to images, and decoding watermarks from watermarked images."),
        QRect(64, 66, 327, 40));
    makeLabel(this, "lblinfo",
              QStringLiteral("Hides a grey-scale watermark in the wavelet domain of a colour bitmap, and "
                             "recovers it from the watermarked image alone."),
              QRect(64, 108, 327, 48));
    makeLabel(this, "lblcontact", QStringLiteral("Questions and reports: the Ombrel project's issue tracker."),
              QRect(64, 160, 327, 34));
    auto *line = new QFrame(this);
    line->setObjectName(QStringLiteral("Line1"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(8, 200, 391, 4);
    makeLabel(this, "lblDisclaimer",
              QStringLiteral("Copyright the Ombrel developers. Free to use; provided as is, without warranty."),
              QRect(16, 210, 250, 80));
    cmdOK = makeButton(this, "cmdOK", QStringLiteral("OK"), QRect(287, 214, 104, 28));
    cmdOK->setDefault(true);
    cmdSysInfo = makeButton(this, "cmdSysInfo", QStringLiteral("&System Info..."), QRect(287, 256, 104, 28));
    connect(cmdOK, &QPushButton::clicked, this, [this] { Registry::instance().unload(this); });
    connect(cmdSysInfo, &QPushButton::clicked, this, &FrmAbout::StartSysInfo);
}

void FrmAbout::formLoad() {
    const QString title = fromStd(text::kApplicationTitle);
    setWindowTitle(QStringLiteral("About ") + title);
    lblVersion->setText(QStringLiteral("Version ") + fromStd(text::kVersion));
    lblTitle->setText(title);
}

void FrmAbout::StartSysInfo() {
    platform::Services &s = platform::services();
    std::optional<QString> command = s.settings->value(QString::fromLatin1(platform::kSysInfoPathKey));
    if (!command) {
        const auto folder = s.settings->value(QString::fromLatin1(platform::kSysInfoFolderKey));
        if (folder) {
            const QString program = QDir(*folder).filePath(QString::fromLatin1(platform::kSysInfoProgram));
            if (platform::fileExists(program))
                command = program;
        }
    }
    // The first location is used as it stands; a bad value fails to start.
    if (!command || !s.launcher->start(*command))
        s.messages->show(QStringLiteral("System Information Is Unavailable At This Time"),
                         platform::Buttons::Ok, fromStd(text::kApplicationTitle));
}

void FrmAbout::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape) {
        cmdOK->click();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        cmdOK->click();
        return;
    }
    Window::keyPressEvent(event);
}

} // namespace ombrel::windows
