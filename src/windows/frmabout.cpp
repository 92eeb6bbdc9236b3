// SPDX-License-Identifier: Apache-2.0
#include "windows/frmabout.h"

#include "platform/platform.h"
#include "text/texts.h"
#include "windows/controls.h"
#include "windows/emblem.h"
#include "windows/registry.h"

#include <QDir>
#include <QFrame>
#include <QKeyEvent>
#include <QPixmap>

namespace ombrel::windows {

FrmAbout::FrmAbout()
    : Window("frmAbout", QStringLiteral("About MyApp"), QSize(407, 307), Border::FixedDialog) {
    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setGeometry(16, 16, 32, 32);
    picIcon->setPixmap(QPixmap::fromImage(drawEmblem(32)));
    picIcon->setAccessibleName(QStringLiteral("emblem"));
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
    const QString title = platform::fromStd(text::kApplicationTitle);
    setWindowTitle(QStringLiteral("About ") + title);
    lblVersion->setText(QStringLiteral("Version ") + platform::fromStd(text::kVersion));
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
                         platform::Buttons::Ok, platform::fromStd(text::kApplicationTitle));
}

void FrmAbout::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Escape) {
        cmdOK->click();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Enter presses the focused button; OK is only the default.
        auto *focused = qobject_cast<QPushButton *>(focusWidget());
        (focused ? focused : cmdOK)->click();
        return;
    }
    Window::keyPressEvent(event);
}

} // namespace ombrel::windows
