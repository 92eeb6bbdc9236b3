// SPDX-License-Identifier: Apache-2.0
// Writes the theme icons, NxN/org.ombrel.Watermark.png, into the folder given.
#include "windows/emblem.h"

#include <QDir>
#include <QImage>

#include <cstdio>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icons DIR\n");
        return 2;
    }
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QString dir = QStringLiteral("%1/%2x%2").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        QDir().mkpath(dir);
        if (!ombrel::windows::drawEmblem(size).save(dir + QStringLiteral("/org.ombrel.Watermark.png"))) {
            std::fprintf(stderr, "cannot write the %d pixel icon\n", size);
            return 1;
        }
    }
    return 0;
}
