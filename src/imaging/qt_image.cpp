// SPDX-License-Identifier: Apache-2.0
#include "imaging/qt_image.h"

#include "imaging/row_loops.h"

#include <QImage>
#include <QList>

namespace ombrel {

namespace {

// Qt keeps 0xffRRGGBB, a colour word is 0x00BBGGRR: the same bytes with red
// and blue exchanged. The exchange is its own inverse.
constexpr std::uint32_t swapRedBlue(std::uint32_t p) {
    return ((p >> 16) & 0xff) | (p & 0xff00) | ((p & 0xff) << 16);
}

// A palette picture through its table, without a 32-bit copy first. Indexes
// past the table are black, as in Qt's own conversion.
Image fromIndexed(const QImage &decoded) {
    ColourWord words[256];
    const QList<QRgb> table = decoded.colorTable();
    for (int i = 0; i < 256; ++i)
        words[i] = i < table.size() ? static_cast<ColourWord>(swapRedBlue(table[i])) : 0;
    Image image = Image::unset(decoded.width(), decoded.height());
    for (int y = 0; y < image.height; ++y) {
        const uchar *src = decoded.constScanLine(y);
        ColourWord *dst = image.row(y);
        for (int x = 0; x < image.width; ++x)
            dst[x] = words[src[x]];
    }
    return image;
}

} // namespace

OMBREL_ROW_LOOPS void swapRedBlue(Image &image, std::uint32_t top) {
    for (ColourWord &p : image.pixels)
        p = static_cast<ColourWord>(top | swapRedBlue(static_cast<std::uint32_t>(p)));
}

Image fromQImage(const QImage &decoded) {
    if (decoded.format() == QImage::Format_Indexed8 && !decoded.hasAlphaChannel())
        return fromIndexed(decoded);
    const QImage converted = decoded.convertToFormat(QImage::Format_RGB32);
    const int width = converted.width(), height = converted.height();
    Image image = Image::unset(width, height);
    for (int y = 0; y < height; ++y) {
        const auto *src = reinterpret_cast<const QRgb *>(converted.constScanLine(y));
        ColourWord *dst = image.row(y);
        for (int x = 0; x < width; ++x)
            dst[x] = static_cast<ColourWord>(swapRedBlue(src[x]));
    }
    return image;
}

// Straight into the one layout Qt's writer takes without converting again.
QImage toQImage(const Image &image) {
    QImage out(image.width, image.height, QImage::Format_RGB32);
    for (int y = 0; y < image.height; ++y) {
        auto *dst = reinterpret_cast<QRgb *>(out.scanLine(y));
        const ColourWord *src = image.row(y);
        for (int x = 0; x < image.width; ++x)
            dst[x] = 0xff000000u | swapRedBlue(static_cast<std::uint32_t>(src[x]));
    }
    return out;
}

QImage toGreyQImage(const Image &image) {
    QImage out(image.width, image.height, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int g = 0; g < 256; ++g)
        table.append(qRgb(g, g, g));
    out.setColorTable(table);
    for (int y = 0; y < image.height; ++y) {
        uchar *dst = out.scanLine(y);
        const ColourWord *src = image.row(y);
        for (int x = 0; x < image.width; ++x)
            dst[x] = static_cast<uchar>(src[x] & 255);
    }
    return out;
}

QImage inPlaceQImage(Image &image) {
    swapRedBlue(image, 0xff000000u);
    return QImage(reinterpret_cast<uchar *>(image.pixels.data()), image.width, image.height,
                  image.width * 4, QImage::Format_RGB32);
}

} // namespace ombrel
