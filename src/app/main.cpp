#include "windows/frmmain.h"
#include "windows/registry.h"

#include <QApplication>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ombrel-watermark"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0"));
    // Ending is explicit: Exit, or closing the main window.
    QApplication::setQuitOnLastWindowClosed(false);
    ombrel::windows::Registry::instance().get<ombrel::windows::FrmMain>().show();
    return QApplication::exec();
}
