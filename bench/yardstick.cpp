// SPDX-License-Identifier: Apache-2.0
// What any program must do for one embedding: decode the cover and the
// watermark with Qt and encode one 1024 x 768 bitmap. end_to_end measures
// ombrel against it.
#include <QImage>
#include <QString>

int main(int argc, char **argv) {
    if (argc != 4)
        return 2;
    const QImage cover(QString::fromLocal8Bit(argv[1]), "BMP");
    const QImage watermark(QString::fromLocal8Bit(argv[2]), "BMP");
    if (cover.isNull() || watermark.isNull())
        return 1;
    return cover.save(QString::fromLocal8Bit(argv[3]), "BMP") ? 0 : 1;
}
