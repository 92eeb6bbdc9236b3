// SPDX-License-Identifier: Apache-2.0
// Renders every window a user sees, after a real walk with the sample
// pictures, into OUTDIR/<window>.png. Used for the README's pictures.
//   render_windows OUTDIR [SAMPLES_FOLDER [HOME]]
// HOME, an empty folder, stands for c:; the drive and folder lists show its
// path, so pictures made for keeping name a fixed one.
// Run it on the offscreen platform; QT_SCALE_FACTOR=2 renders at twice the size.

#include "gui/tour.h"
#include "windows/fonts.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>

#include <cstdio>
#include <exception>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: render_windows OUTDIR [SAMPLES_FOLDER [HOME]]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString samples = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral(OMBREL_SOURCE_DIR "/samples");
    const QString home = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    if (!QDir().mkpath(out)) {
        std::fprintf(stderr, "render_windows: cannot create %s\n", argv[1]);
        return 1;
    }
    ombrel::windows::useWindowFonts();
    int failed = 0;
    try {
        const auto render = [&](QWidget &window) {
            const QString file = QDir(out).filePath(window.objectName() + QStringLiteral(".png"));
            if (!window.grab().save(file)) {
                std::fprintf(stderr, "render_windows: cannot write %s\n", qPrintable(file));
                ++failed;
            }
        };
        ombrel::test::tourWindows(samples, render, home);
        ombrel::test::tourKeyScreen(samples, render, home);
        ombrel::test::tourCheck(samples, render, home);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "render_windows: %s\n", e.what());
        return 1;
    }
    return failed ? 1 : 0;
}
