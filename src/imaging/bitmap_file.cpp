// The only unit that sees Qt's image types: it turns files into colour words
// and back.
#include "imaging/bitmap_file.h"
#include "imaging/qt_image.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QList>
#include <QSaveFile>

#include <algorithm>
#include <cstring>
#include <memory>

namespace ombrel {

namespace {

constexpr int kFileHeaderSize = 14;
constexpr long long kMaxRlePixelsPerByte = 256;

std::uint32_t le32(const char *p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v; // little-endian hosts only, as Qt's own reader assumes here
}

std::int32_t les32(const char *p) { return static_cast<std::int32_t>(le32(p)); }
std::uint16_t le16(const char *p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// Checks what Qt's reader lets pass: the size claimed by the header against
// our cap, and uncompressed pixel data that the file does not hold.
struct Refused {
    FileProblem problem;
    std::string reason;
};

// bits receives the depth the header claims.
std::optional<Refused> checkHeader(const QByteArray &head, qint64 fileSize, int &bits) {
    if (head.size() < 2 || head[0] != 'B' || head[1] != 'M')
        return Refused{FileProblem::NotBitmap, "not a Windows bitmap"};
    if (head.size() < kFileHeaderSize + 4)
        return Refused{FileProblem::TruncatedHeader, "truncated bitmap header"};
    const char *p = head.constData();
    const std::uint32_t pixelOffset = le32(p + 10);
    const std::uint32_t infoSize = le32(p + 14);
    long long width = 0, height = 0;
    std::uint32_t compression = 0;
    if (infoSize == 12) {
        if (head.size() < kFileHeaderSize + 12)
            return Refused{FileProblem::TruncatedHeader, "truncated bitmap header"};
        width = le16(p + 18);
        height = le16(p + 20);
        bits = le16(p + 24);
    } else if (infoSize >= 40) {
        if (head.size() < kFileHeaderSize + 40)
            return Refused{FileProblem::TruncatedHeader, "truncated bitmap header"};
        width = les32(p + 18);
        height = les32(p + 22);
        bits = le16(p + 28);
        compression = le32(p + 30);
    } else {
        return Refused{FileProblem::UnsupportedHeader, "unsupported bitmap header"};
    }
    if (height < 0)
        height = -height; // top-down
    if (width <= 0 || height <= 0)
        return Refused{FileProblem::NoPixels, "the bitmap has no pixels"};
    if (width * height > kMaxBitmapPixels)
        return Refused{FileProblem::TooLarge, "the bitmap claims " + std::to_string(width) + " x " +
                                                  std::to_string(height) +
                                                  " pixels, more than this program accepts"};
    // Uncompressed (0) and bit-field (3, 6) data must be all there.
    if (compression == 0 || compression == 3 || compression == 6) {
        const long long stride = ((width * bits + 31) / 32) * 4;
        if (static_cast<long long>(pixelOffset) + stride * height > fileSize)
            return Refused{FileProblem::TruncatedPixels, "truncated pixel data"};
    }
    // A run-length picture spells at most 255 pixels with two bytes; one that
    // claims far more than its data could spell would only make us allocate.
    if (compression == 1 || compression == 2) {
        const long long data = std::max<long long>(1, fileSize - static_cast<long long>(pixelOffset));
        if (width * height > kMaxRlePixelsPerByte * data)
            return Refused{FileProblem::RunLengthTooLong,
                           "the bitmap claims more pixels than its compressed data can hold"};
    }
    return std::nullopt;
}

// Every file we write says 96 dots per inch, the desktop's resolution, so the
// desktop program and the command-line tool write the same bytes.
constexpr int kDotsPerMetre = 3780;

// Qt keeps 0xffRRGGBB, a colour word is 0x00BBGGRR: the same bytes with red
// and blue exchanged. The exchange is its own inverse.
constexpr std::uint32_t swapRedBlue(std::uint32_t p) {
    return ((p >> 16) & 0xff) | (p & 0xff00) | ((p & 0xff) << 16);
}

} // namespace

Image fromQImage(const QImage &decoded) {
    const QImage converted = decoded.convertToFormat(QImage::Format_RGB32);
    const int width = converted.width(), height = converted.height();
    Image image(width, height);
    for (int y = 0; y < height; ++y) {
        const auto *src = reinterpret_cast<const QRgb *>(converted.constScanLine(y));
        ColourWord *dst = image.row(y);
        for (int x = 0; x < width; ++x)
            dst[x] = static_cast<ColourWord>(swapRedBlue(src[x]));
    }
    return image;
}

namespace {

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

} // namespace

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

namespace {

// A 24-bit file decodes straight into the colour words' own memory; only
// red and blue change places afterwards.
bool decodeInPlace(QImageReader &reader, std::optional<Image> &into) {
    const QSize size = reader.size();
    Image image(size.width(), size.height());
    auto *bits = reinterpret_cast<uchar *>(image.pixels.data());
    QImage view(bits, image.width, image.height, image.width * 4, QImage::Format_RGB32);
    if (!reader.read(&view))
        return false;
    if (view.constBits() != bits) { // Qt chose a buffer of its own
        into = fromQImage(view);
        return true;
    }
    for (ColourWord &p : image.pixels)
        p = static_cast<ColourWord>(swapRedBlue(static_cast<std::uint32_t>(p)));
    into = std::move(image);
    return true;
}

// Everything after the file itself was found: header checks, then Qt's decoder
// with its allocation capped.
void decode(QIODevice &device, qint64 size, LoadedBitmap &result) {
    if (size == 0) {
        result.error.refuse(FileProblem::Empty, "the file is empty");
        return;
    }
    int bits = 0;
    if (auto refused = checkHeader(device.peek(kFileHeaderSize + 40), size, bits)) {
        result.error.refuse(refused->problem, refused->reason);
        return;
    }
    QImageReader reader(&device, "bmp");
    reader.setAutoTransform(false);
    reader.setAllocationLimit(static_cast<int>(kMaxBitmapPixels * 4 / (1024 * 1024)));
    bool decoded = false;
    if (bits == 24 && !reader.size().isEmpty()) {
        decoded = decodeInPlace(reader, result.image);
    } else {
        const QImage image = reader.read();
        if ((decoded = !image.isNull()))
            result.image = fromQImage(image);
    }
    if (!decoded)
        result.error.refuse(FileProblem::Undecodable,
                            "not a readable bitmap (" + reader.errorString().toStdString() + ")");
}

} // namespace

LoadedBitmap loadBitmap(const std::string &path) {
    LoadedBitmap result;
    result.error.path = path;
    const QString name = QString::fromStdString(path);
    const QFileInfo info(name);
    if (!info.exists()) {
        result.error.refuse(FileProblem::NoSuchFile, "no such file");
        return result;
    }
    if (info.isDir()) {
        result.error.refuse(FileProblem::IsFolder, "is a folder, not a file");
        return result;
    }
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error.refuse(FileProblem::Unreadable, "cannot be read: " + file.errorString().toStdString());
        return result;
    }
    decode(file, file.size(), result);
    return result;
}

LoadedBitmap decodeBitmap(const char *data, std::size_t size, const std::string &name) {
    LoadedBitmap result;
    result.error.path = name;
    const QByteArray bytes = QByteArray::fromRawData(data, static_cast<qsizetype>(size));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    decode(buffer, static_cast<qint64>(size), result);
    return result;
}

std::optional<FileError> saveBitmap(const Image &image, const std::string &path,
                                    BitmapKind kind) {
    return saveBitmaps({{&image, path, kind}});
}

namespace {

// One file of a save: its bytes ready, then the handle that writes them.
struct Outgoing {
    const BitmapToWrite *target;
    QByteArray bytes;
    std::unique_ptr<QSaveFile> file;
};

FileError unwritable(const BitmapToWrite &f, const QString &why) {
    return FileError{f.path, "cannot be written: " + why.toStdString(), FileProblem::Unwritable};
}

// Writes the bytes and hands the file back open; false when the write failed.
bool writeAll(Outgoing &o) { return o.file->write(o.bytes) == o.bytes.size(); }

} // namespace

std::optional<FileError> saveBitmaps(const std::vector<BitmapToWrite> &files) {
    // Every picture is encoded before any file is touched.
    std::vector<Outgoing> out;
    for (const BitmapToWrite &f : files) {
        const QString name = QString::fromStdString(f.path);
        if (f.path.empty())
            return FileError{f.path, "no file name given", FileProblem::NoFileName};
        if (QFileInfo(name).isDir())
            return FileError{f.path, "is a folder, not a file", FileProblem::IsFolder};
        QImage encoded = f.kind == BitmapKind::Grey8 ? toGreyQImage(*f.image) : toQImage(*f.image);
        encoded.setDotsPerMeterX(kDotsPerMetre);
        encoded.setDotsPerMeterY(kDotsPerMetre);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "bmp");
        if (!writer.write(encoded))
            return unwritable(f, writer.errorString());
        out.push_back({&f, std::move(bytes), std::make_unique<QSaveFile>(name)});
    }
    const auto cancelAll = [&] {
        for (Outgoing &o : out)
            if (o.file->isOpen())
                o.file->cancelWriting();
    };
    // First through temporaries beside the targets. A file whose folder
    // refuses a temporary but which may itself be written is replaced in
    // place, last, once everything else is written.
    std::vector<Outgoing *> inPlace;
    for (Outgoing &o : out) {
        if (!o.file->open(QIODevice::WriteOnly)) {
            const QFileInfo info(o.file->fileName());
            if (!info.isFile() || !info.isWritable()) {
                const QString why = o.file->errorString();
                cancelAll();
                return unwritable(*o.target, why);
            }
            inPlace.push_back(&o);
            continue;
        }
        if (!writeAll(o)) {
            const QString why = o.file->errorString();
            cancelAll();
            return unwritable(*o.target, why);
        }
    }
    for (Outgoing *o : inPlace) {
        o->file->setDirectWriteFallback(true);
        if (!o->file->open(QIODevice::WriteOnly) || !writeAll(*o)) {
            const QString why = o->file->errorString();
            cancelAll();
            return unwritable(*o->target, why);
        }
    }
    for (Outgoing &o : out)
        if (!o.file->commit())
            return unwritable(*o.target, o.file->errorString());
    return std::nullopt;
}

} // namespace ombrel
