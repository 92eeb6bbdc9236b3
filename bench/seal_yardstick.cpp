// SPDX-License-Identifier: Apache-2.0
// The floor under `ombrel seal` and `ombrel check`, for bench/seal_speed.py:
//   seal_yardstick decode IN              Qt's decode alone
//   seal_yardstick recode IN OUT          decode, then encode as a PNG
//   seal_yardstick seal IN OUT KEY ID     decode, seal in place, encode
//   seal_yardstick check IN KEY ID        decode, check
// The PNG is written as the tool writes one: QImageWriter with its own
// settings. The last two show what the seal itself costs, with none of the
// tool's own work between decode and encode.
#include "stego/seal.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QString>

#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

QImage decoded(const char *path) {
    QImageReader::setAllocationLimit(0); // 24 megapixels and more
    QImageReader reader(QString::fromLocal8Bit(path));
    QImage image = reader.read();
    if (image.isNull())
        std::fprintf(stderr, "seal_yardstick: %s: %s\n", path, qPrintable(reader.errorString()));
    return image;
}

bool encoded(const QImage &image, const char *path) {
    QImageWriter writer(QString::fromLocal8Bit(path), "png");
    if (writer.write(image))
        return true;
    std::fprintf(stderr, "seal_yardstick: %s: %s\n", path, qPrintable(writer.errorString()));
    return false;
}

std::vector<std::uint8_t> keyFrom(const char *path) {
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return {bytes.begin(), bytes.end()};
}

// The picture's samples as the seal reads them, in the image's own memory:
// three channels of 8 bits, or one for grey.
ombrel::SealPixels samplesOf(QImage &image) {
    const bool grey = image.isGrayscale();
    image.convertTo(grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    ombrel::SealPixels p;
    p.width = image.width();
    p.height = image.height();
    p.channels = grey ? 1 : 3;
    p.bitDepth = 8;
    p.rowStride = image.bytesPerLine();
    p.samples = image.bits();
    return p;
}

} // namespace

int main(int argc, char **argv) {
    const std::string_view mode = argc > 1 ? argv[1] : "";
    if (mode == "decode" && argc == 3)
        return decoded(argv[2]).isNull() ? 1 : 0;
    if (mode == "recode" && argc == 4) {
        const QImage image = decoded(argv[2]);
        return !image.isNull() && encoded(image, argv[3]) ? 0 : 1;
    }
    if (mode == "seal" && argc == 6) {
        QImage image = decoded(argv[2]);
        if (image.isNull())
            return 1;
        ombrel::sealPicture(samplesOf(image), keyFrom(argv[4]), argv[5]);
        return encoded(image, argv[3]) ? 0 : 1;
    }
    if (mode == "check" && argc == 5) {
        QImage image = decoded(argv[2]);
        if (image.isNull())
            return 1;
        return ombrel::checkSeal(samplesOf(image), keyFrom(argv[3]), argv[4]).intact() ? 0 : 1;
    }
    std::fprintf(stderr, "usage: seal_yardstick decode IN | recode IN OUT | seal IN OUT KEY ID | check IN KEY ID\n");
    return 2;
}
