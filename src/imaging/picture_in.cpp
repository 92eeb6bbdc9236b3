// SPDX-License-Identifier: Apache-2.0
// Files into colour words: bitmaps through their own checks and fast path,
// every other format through whichever of Qt's plugins knows it.
#include "imaging/picture_in.h"

#include "imaging/bmp_header.h"
#include "imaging/library_noise.h"
#include "imaging/qt_image.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

namespace ombrel {

namespace {

// A refusal still to be given its path.
FileError refused(FileProblem problem, std::string detail = {}) { return {{}, problem, std::move(detail)}; }

// Qt's allocation limit belongs to the whole process (the setter is
// static), so it is the host's to set; the size checks here refuse a picture
// over kMaxPicturePixels before Qt allocates anything.
void readAsStored(QImageReader &reader) { reader.setAutoTransform(false); }

// A 24-bit file decodes straight into the colour words' own memory; only
// red and blue change places afterwards.
std::optional<Image> decodeInPlace(QImageReader &reader) {
    const QSize size = reader.size();
    Image image = Image::unset(size.width(), size.height());
    auto *bits = reinterpret_cast<uchar *>(image.pixels.data());
    QImage view(bits, image.width, image.height, image.width * 4, QImage::Format_RGB32);
    if (!reader.read(&view))
        return std::nullopt;
    if (view.constBits() != bits) // Qt chose a buffer of its own
        return fromQImage(view);
    swapRedBlue(image, 0);
    return image;
}

// Everything after the file itself was found: header checks, then Qt's decoder.
LoadedPicture decodeBmp(QIODevice &device, qint64 size) {
    if (size == 0)
        return refused(FileProblem::Empty);
    const QByteArray head = device.peek(kBmpHeadBytes);
    const auto bits = checkBmpHeader(std::string_view(head.constData(), static_cast<std::size_t>(head.size())), size);
    if (!bits)
        return bits.error();
    QImageReader reader(&device, "bmp");
    readAsStored(reader);
    std::optional<Image> decoded;
    if (*bits == 24 && !reader.size().isEmpty()) {
        decoded = decodeInPlace(reader);
    } else if (const QImage image = reader.read(); !image.isNull()) {
        decoded = fromQImage(image);
    }
    if (!decoded)
        return refused(FileProblem::Undecodable, "bitmap (" + reader.errorString().toStdString() + ")");
    return std::move(*decoded);
}

// A number, not the enumeration: see reportedFormat.
bool deepFormat(int f) {
    switch (f) {
    case QImage::Format_Grayscale16:
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_RGBX16FPx4:
    case QImage::Format_RGBA16FPx4:
    case QImage::Format_RGBA16FPx4_Premultiplied:
    case QImage::Format_RGBX32FPx4:
    case QImage::Format_RGBA32FPx4:
    case QImage::Format_RGBA32FPx4_Premultiplied:
        return true;
    default:
        return false;
    }
}

// The pixel format a plugin reports before decoding. Qt's JPEG reader can
// report a number outside the enumeration for a damaged header, which must
// not be read as one.
int reportedFormat(const QImageReader &reader) {
    const QImage::Format format = reader.imageFormat();
    int number = 0;
    static_assert(sizeof format == sizeof number);
    std::memcpy(&number, &format, sizeof number);
    return number;
}

// Qt reads PPM and PGM with a maximum above 255 as 8 bits without a word, and
// gives no size before decoding, so their header is read here: magic, width,
// height and maximum, with comments between.
struct NetpbmHeader {
    long long width = 0, height = 0, maximum = 0;
};

std::optional<NetpbmHeader> netpbmHeader(const QByteArray &head) {
    if (head.size() < 2 || head[0] != 'P' || (head[1] != '2' && head[1] != '3' && head[1] != '5' &&
                                              head[1] != '6'))
        return std::nullopt;
    long long numbers[3] = {0, 0, 0};
    int n = 0;
    for (qsizetype i = 2; i < head.size() && n < 3;) {
        const char c = head[i];
        if (c == '#') {
            while (i < head.size() && head[i] != '\n')
                ++i;
        } else if (c >= '0' && c <= '9') {
            long long v = 0;
            for (; i < head.size() && head[i] >= '0' && head[i] <= '9'; ++i)
                v = std::min(v * 10 + (head[i] - '0'), 1LL << 30); // so width x height fits
            numbers[n++] = v;
        } else {
            ++i;
        }
    }
    if (n < 3)
        return std::nullopt;
    return NetpbmHeader{numbers[0], numbers[1], numbers[2]};
}

bool tooLarge(long long width, long long height) { return width * height > kMaxPicturePixels; }

bool anyTranslucent(const QImage &image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(row[x]) != 255)
                return true;
    }
    return false;
}

// Pictures that are not Windows bitmaps, through whichever plugin knows them.
LoadedPicture decodeOther(QIODevice &device) {
    if (const auto netpbm = netpbmHeader(device.peek(256))) {
        if (tooLarge(netpbm->width, netpbm->height))
            return refused(FileProblem::TooLarge, sizeClaim("picture", netpbm->width, netpbm->height));
        if (netpbm->maximum > 255)
            return refused(FileProblem::SixteenBit);
    }
    QImageReader reader(&device);
    reader.setDecideFormatFromContent(true);
    readAsStored(reader);
    if (!reader.canRead())
        return refused(FileProblem::NotPicture);
    const QSize size = reader.size();
    if (size.isValid() && tooLarge(size.width(), size.height()))
        return refused(FileProblem::TooLarge, sizeClaim("picture", size.width(), size.height()));
    if (deepFormat(reportedFormat(reader)))
        return refused(FileProblem::SixteenBit);
    const QImage image = reader.read();
    if (image.isNull())
        return refused(FileProblem::Undecodable, "picture (" + reader.errorString().toStdString() + ")");
    if (deepFormat(image.format()))
        return refused(FileProblem::SixteenBit);
    if (image.hasAlphaChannel() && anyTranslucent(image))
        return refused(FileProblem::Translucent);
    return fromQImage(image);
}

// Bitmaps keep their own checks and fast path; everything else goes by content.
LoadedPicture decodeAny(QIODevice &device, qint64 size) {
    if (size > 0 && device.peek(2) != "BM")
        return decodeOther(device);
    return decodeBmp(device, size);
}

using Decoder = LoadedPicture (*)(QIODevice &, qint64);

// Decodes with the libraries' own warnings kept off the terminal; a picture
// that cannot be decoded says what they said.
LoadedPicture quietly(Decoder decode, QIODevice &device, qint64 size, const std::string &path) {
    LibraryNoise noise;
    LoadedPicture result = decode(device, size);
    const std::string said = noise.words();
    if (result.ok())
        return result;
    FileError error = result.error();
    error.path = path;
    if (error.problem == FileProblem::Undecodable && !said.empty())
        error.detail.insert(error.detail.size() - 1, "; " + said);
    return error;
}

// A file that exists and opens goes to decode; otherwise the reason why not.
LoadedPicture loadWith(const std::string &path, Decoder decode) {
    const QString name = QString::fromStdString(path);
    const QFileInfo info(name);
    if (!info.exists())
        return FileError{path, FileProblem::NoSuchFile};
    if (info.isDir())
        return FileError{path, FileProblem::IsFolder};
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return FileError{path, FileProblem::Unreadable, file.errorString().toStdString()};
    return quietly(decode, file, file.size(), path);
}

} // namespace

LoadedPicture loadBitmap(const std::string &path) { return loadWith(path, decodeBmp); }

LoadedPicture loadPicture(const std::string &path) { return loadWith(path, decodeAny); }

namespace {

LoadedPicture decodeBytes(Decoder decode, const char *data, std::size_t size, const std::string &name) {
    const QByteArray bytes = QByteArray::fromRawData(data, static_cast<qsizetype>(size));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return quietly(decode, buffer, static_cast<qint64>(size), name);
}

} // namespace

LoadedPicture decodeBitmap(const char *data, std::size_t size, const std::string &name) {
    return decodeBytes(decodeBmp, data, size, name);
}

LoadedPicture decodePicture(const char *data, std::size_t size, const std::string &name) {
    return decodeBytes(decodeAny, data, size, name);
}

} // namespace ombrel
