// SPDX-License-Identifier: Apache-2.0
#include "imaging/picture_in.h"
#include "text/texts.h"
#include "windows/emblem.h"
#include "windows/fonts.h"
#include "windows/frmmain.h"
#include "windows/registry.h"
#include "windows/session.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>

int main(int argc, char **argv) {
    // The image libraries' warnings about pictures that read well stay off
    // the terminal; a refusal's message quotes them where they help.
    ombrel::keepLibraryNoiseOffStderr();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ombrel-watermark"));
    QApplication::setApplicationVersion(QString::fromLatin1(OMBREL_VERSION));
    // Ending is explicit: Exit, or closing the main window.
    QApplication::setQuitOnLastWindowClosed(false);
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128})
        icon.addPixmap(QPixmap::fromImage(ombrel::windows::drawEmblem(size)));
    QApplication::setWindowIcon(icon);
    QApplication::setDesktopFileName(QStringLiteral("org.ombrel.Watermark"));
    ombrel::windows::useWindowFonts();
    // The run's state lives here, for the whole run; the registry hands it
    // to every screen it makes.
    ombrel::windows::Session session;
    ombrel::windows::Registry &registry = ombrel::windows::Registry::instance();
    registry.useSession(session);
    registry.get<ombrel::windows::FrmMain>().show();
    return QApplication::exec();
}
