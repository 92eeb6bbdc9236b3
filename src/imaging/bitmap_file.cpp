// The only unit that sees Qt's image types: it turns files into colour words
// and back.
#include "imaging/bitmap_file.h"
#include "imaging/qt_image.h"
#include "imaging/row_loops.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
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

// Every pixel's red and blue exchanged where they lie, and the top byte set
// to top: 0 for colour words, 0xff for Qt's opaque pixels.
OMBREL_ROW_LOOPS void swapRedBlue(Image &image, std::uint32_t top) {
    for (ColourWord &p : image.pixels)
        p = static_cast<ColourWord>(top | swapRedBlue(static_cast<std::uint32_t>(p)));
}

} // namespace

namespace {

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
    Image image = Image::unset(size.width(), size.height());
    auto *bits = reinterpret_cast<uchar *>(image.pixels.data());
    QImage view(bits, image.width, image.height, image.width * 4, QImage::Format_RGB32);
    if (!reader.read(&view))
        return false;
    if (view.constBits() != bits) { // Qt chose a buffer of its own
        into = fromQImage(view);
        return true;
    }
    swapRedBlue(image, 0);
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

namespace {

bool deepFormat(QImage::Format f) {
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

const char kSixteenBit[] = "16 bits a channel; this program takes 8 and will not round them away";

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

std::string tooLarge(long long width, long long height) {
    return "the picture claims " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels, more than this program accepts";
}

// Pictures that are not Windows bitmaps, through whichever plugin knows them.
void decodeOther(QIODevice &device, LoadedBitmap &result) {
    if (const auto netpbm = netpbmHeader(device.peek(256))) {
        if (netpbm->width * netpbm->height > kMaxBitmapPixels) {
            result.error.refuse(FileProblem::TooLarge, tooLarge(netpbm->width, netpbm->height));
            return;
        }
        if (netpbm->maximum > 255) {
            result.error.refuse(FileProblem::SixteenBit, kSixteenBit);
            return;
        }
    }
    QImageReader reader(&device);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false);
    reader.setAllocationLimit(static_cast<int>(kMaxBitmapPixels * 4 / (1024 * 1024)));
    if (!reader.canRead()) {
        result.error.refuse(FileProblem::NotPicture,
                            "not a picture this program reads (BMP, PNG, TIFF, PPM or PGM)");
        return;
    }
    const QSize size = reader.size();
    if (size.isValid() && static_cast<long long>(size.width()) * size.height() > kMaxBitmapPixels) {
        result.error.refuse(FileProblem::TooLarge, tooLarge(size.width(), size.height()));
        return;
    }
    if (deepFormat(reader.imageFormat())) {
        result.error.refuse(FileProblem::SixteenBit, kSixteenBit);
        return;
    }
    const QImage image = reader.read();
    if (image.isNull()) {
        result.error.refuse(FileProblem::Undecodable,
                            "not a readable picture (" + reader.errorString().toStdString() + ")");
        return;
    }
    if (deepFormat(image.format())) {
        result.error.refuse(FileProblem::SixteenBit, kSixteenBit);
        return;
    }
    if (image.hasAlphaChannel()) {
        const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < argb.height(); ++y) {
            const auto *row = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
            for (int x = 0; x < argb.width(); ++x)
                if (qAlpha(row[x]) != 255) {
                    result.error.refuse(FileProblem::Translucent,
                                        "has pixels that are not fully opaque; the watermark "
                                        "needs plain colours, so flatten the picture first");
                    return;
                }
        }
    }
    result.image = fromQImage(image);
}

// A file that exists and opens, or the reason why not.
std::unique_ptr<QFile> openForReading(const std::string &path, LoadedBitmap &result) {
    result.error.path = path;
    const QString name = QString::fromStdString(path);
    const QFileInfo info(name);
    if (!info.exists()) {
        result.error.refuse(FileProblem::NoSuchFile, "no such file");
        return nullptr;
    }
    if (info.isDir()) {
        result.error.refuse(FileProblem::IsFolder, "is a folder, not a file");
        return nullptr;
    }
    auto file = std::make_unique<QFile>(name);
    if (!file->open(QIODevice::ReadOnly)) {
        result.error.refuse(FileProblem::Unreadable, "cannot be read: " + file->errorString().toStdString());
        return nullptr;
    }
    return file;
}

// Bitmaps keep their own checks and fast path; everything else goes by content.
void decodeAny(QIODevice &device, qint64 size, LoadedBitmap &result) {
    if (size > 0 && device.peek(2) != "BM")
        decodeOther(device, result);
    else
        decode(device, size, result);
}

template <void (*Decode)(QIODevice &, qint64, LoadedBitmap &)>
LoadedBitmap loadWith(const std::string &path) {
    LoadedBitmap result;
    if (auto file = openForReading(path, result))
        Decode(*file, file->size(), result);
    return result;
}

template <void (*Decode)(QIODevice &, qint64, LoadedBitmap &)>
LoadedBitmap decodeWith(const char *data, std::size_t size, const std::string &name) {
    LoadedBitmap result;
    result.error.path = name;
    const QByteArray bytes = QByteArray::fromRawData(data, static_cast<qsizetype>(size));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    Decode(buffer, static_cast<qint64>(size), result);
    return result;
}

} // namespace

LoadedBitmap loadBitmap(const std::string &path) { return loadWith<decode>(path); }

LoadedBitmap decodeBitmap(const char *data, std::size_t size, const std::string &name) {
    return decodeWith<decode>(data, size, name);
}

LoadedBitmap loadPicture(const std::string &path) { return loadWith<decodeAny>(path); }

LoadedBitmap decodePicture(const char *data, std::size_t size, const std::string &name) {
    return decodeWith<decodeAny>(data, size, name);
}

FormatChoice formatForName(const std::string &path) {
    const std::string suffix = QFileInfo(QString::fromStdString(path)).suffix().toLower().toStdString();
    const std::pair<const char *, FileFormat> known[] = {
        {"", FileFormat::Bmp},    {"bmp", FileFormat::Bmp},  {"dib", FileFormat::Bmp},
        {"png", FileFormat::Png}, {"tif", FileFormat::Tiff}, {"tiff", FileFormat::Tiff},
        {"ppm", FileFormat::Ppm}, {"pgm", FileFormat::Pgm},
    };
    for (const auto &[name, format] : known)
        if (suffix == name)
            return {format, {}};
    const char *lossy[] = {"jpg", "jpeg", "jpe", "jfif", "jp2", "j2k", "jpx", "jxl",
                           "webp", "heic", "heif", "avif", "jxr", "wdp"};
    const std::string formats = "name it .bmp, .png, .tif, .tiff, .ppm or .pgm";
    FormatChoice refused;
    refused.error.path = path;
    if (std::find(std::begin(lossy), std::end(lossy), suffix) != std::end(lossy))
        refused.error.refuse(FileProblem::LossyFormat,
                             "." + suffix + " is a lossy format, and lossy compression destroys "
                                            "the watermark; " + formats);
    else
        refused.error.refuse(FileProblem::UnknownFormat,
                             "." + suffix + " is not a format this program writes; " + formats);
    return refused;
}

namespace {

bool allGrey(const Image &image) {
    return std::all_of(image.pixels.begin(), image.pixels.end(), [](ColourWord w) {
        return (w & 255) == ((w >> 8) & 255) && (w & 255) == ((w >> 16) & 255);
    });
}

const char *writerFormat(FileFormat format) {
    switch (format) {
    case FileFormat::Png:
        return "png";
    case FileFormat::Tiff:
        return "tiff";
    case FileFormat::Ppm:
        return "ppm";
    case FileFormat::Pgm:
        return "pgm";
    case FileFormat::Bmp:
        break;
    }
    return "bmp";
}

// The picture as Qt's 32-bit layout without a copy: red and blue change
// places in the caller's own pixels, which it has given up.
QImage inPlaceQImage(Image &image) {
    swapRedBlue(image, 0xff000000u);
    return QImage(reinterpret_cast<uchar *>(image.pixels.data()), image.width, image.height,
                  image.width * 4, QImage::Format_RGB32);
}

QImage colourQImage(const BitmapToWrite &f) {
    return f.spent ? inPlaceQImage(*f.spent) : toQImage(*f.image);
}

// The Qt image that holds the picture exactly in the file's format; none for
// a colour picture in a grey-only format. Bitmaps keep the kind asked for.
std::optional<QImage> encodable(const BitmapToWrite &f) {
    switch (f.format) {
    case FileFormat::Bmp:
        return f.kind == BitmapKind::Grey8 ? toGreyQImage(*f.image) : colourQImage(f);
    case FileFormat::Pgm:
        if (!allGrey(*f.image))
            return std::nullopt;
        return toGreyQImage(*f.image);
    case FileFormat::Ppm:
        break;
    case FileFormat::Png:
    case FileFormat::Tiff:
        if (allGrey(*f.image))
            return toGreyQImage(*f.image);
        break;
    }
    // Three channels and no alpha, so nothing reads a fourth one back.
    return colourQImage(f).convertToFormat(QImage::Format_RGB888);
}

} // namespace

std::optional<FileError> saveBitmap(const Image &image, const std::string &path,
                                    BitmapKind kind) {
    return saveBitmaps({{&image, path, kind}});
}

namespace {

FileError unwritable(const BitmapToWrite &f, const QString &why) {
    return FileError{f.path, "cannot be written: " + why.toStdString(), FileProblem::Unwritable};
}

// Encodes the picture onto device; the reason when that failed.
std::optional<QString> encode(const QImage &picture, FileFormat format, QIODevice &device) {
    QImageWriter writer(&device, writerFormat(format));
    if (writer.write(picture))
        return std::nullopt;
    const auto *file = qobject_cast<const QFileDevice *>(&device);
    return file && file->error() != QFileDevice::NoError ? file->errorString() : writer.errorString();
}

// A file written beside its target and renamed over it, so the target is
// never half-written; or, where the folder refuses new files but the target
// may itself be written, the target rewritten in place.
class Replacement {
public:
    explicit Replacement(const std::string &path) {
        const QFileInfo info(QString::fromStdString(path));
        // The link stays; the file it names is replaced.
        target_ = (info.isSymLink() ? info.symLinkTarget() : info.filePath()).toStdString();
    }
    Replacement(const Replacement &) = delete;
    Replacement &operator=(const Replacement &) = delete;
    ~Replacement() { cancel(); }

    // A new temporary beside the target, with the target's permissions, or
    // those a new file gets; false when the folder refuses it.
    bool openTemporary() {
        struct stat existing {};
        const bool replacing = ::stat(target_.c_str(), &existing) == 0;
        for (int attempt = 0; attempt < 100; ++attempt) {
            temporary_ = target_ + "." + std::to_string(::getpid()) + "-" +
                         std::to_string(counter_++) + ".part";
            const int fd = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno == EEXIST)
                continue;
            if (fd < 0)
                return failed();
            if (replacing)
                (void)::fchmod(fd, existing.st_mode & 07777);
            return adopt(fd);
        }
        return failed();
    }
    // The target itself, emptied: the folder refused a temporary.
    bool openInPlace() {
        temporary_.clear();
        const int fd = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        return fd < 0 ? failed() : adopt(fd);
    }
    bool targetWritable() const {
        const QFileInfo info(QString::fromStdString(target_));
        return info.isFile() && info.isWritable();
    }
    QFile &device() { return file_; }
    const QString &error() const { return error_; }

    // Flushes, forces to disk when asked, and renames over the target.
    bool commit(Durability durability) {
        bool ok = file_.flush();
        if (ok && durability == Durability::Synced && ::fdatasync(fd_) != 0)
            ok = failed();
        file_.close();
        if (::close(fd_) != 0 && ok)
            ok = failed();
        fd_ = -1;
        if (ok && !temporary_.empty() && ::rename(temporary_.c_str(), target_.c_str()) != 0)
            ok = failed();
        if (ok)
            temporary_.clear();
        else if (error_.isEmpty())
            error_ = file_.errorString();
        return ok;
    }
    // Removes the temporary; a file rewritten in place stays as written.
    void cancel() {
        if (fd_ >= 0) {
            file_.close();
            ::close(fd_);
            fd_ = -1;
        }
        if (!temporary_.empty())
            ::unlink(temporary_.c_str());
        temporary_.clear();
    }

private:
    bool adopt(int fd) {
        fd_ = fd;
        if (file_.open(fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
            return true;
        error_ = file_.errorString();
        cancel();
        return false;
    }
    bool failed() {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }

    static inline std::atomic<unsigned> counter_{0};
    std::string target_, temporary_;
    QFile file_;
    int fd_ = -1;
    QString error_;
};

// One file of a save and, for a file rewritten in place, its bytes waiting.
struct Outgoing {
    const BitmapToWrite *target;
    std::unique_ptr<Replacement> file;
    QByteArray bytes;
};

} // namespace

std::optional<FileError> saveBitmaps(const std::vector<BitmapToWrite> &files, Durability durability) {
    for (const BitmapToWrite &f : files) {
        if (f.path.empty())
            return FileError{f.path, "no file name given", FileProblem::NoFileName};
        if (QFileInfo(QString::fromStdString(f.path)).isDir())
            return FileError{f.path, "is a folder, not a file", FileProblem::IsFolder};
    }
    std::vector<Outgoing> out;
    out.reserve(files.size()); // inPlace points into it
    const auto fail = [&](const FileError &error) {
        for (Outgoing &o : out)
            o.file->cancel();
        return error;
    };
    // Straight into temporaries beside the targets. A file whose folder
    // refuses a temporary but which may itself be written is encoded in
    // memory and replaced in place, last, once everything else is written.
    std::vector<Outgoing *> inPlace;
    for (const BitmapToWrite &f : files) {
        std::optional<QImage> picture = encodable(f);
        if (!picture)
            return fail(FileError{f.path, "a PGM file holds grey pictures only, and this one has colour",
                                  FileProblem::ColourInGrey});
        picture->setDotsPerMeterX(kDotsPerMetre);
        picture->setDotsPerMeterY(kDotsPerMetre);
        Outgoing &o = out.emplace_back(Outgoing{&f, std::make_unique<Replacement>(f.path), {}});
        if (o.file->openTemporary()) {
            if (auto why = encode(*picture, f.format, o.file->device()))
                return fail(unwritable(f, *why));
            continue;
        }
        if (!o.file->targetWritable())
            return fail(unwritable(f, o.file->error()));
        QBuffer buffer(&o.bytes);
        buffer.open(QIODevice::WriteOnly);
        if (auto why = encode(*picture, f.format, buffer))
            return fail(unwritable(f, *why));
        inPlace.push_back(&o);
    }
    for (Outgoing *o : inPlace)
        if (!o->file->openInPlace() || o->file->device().write(o->bytes) != o->bytes.size())
            return fail(unwritable(*o->target, o->file->error().isEmpty() ? o->file->device().errorString()
                                                                        : o->file->error()));
    for (Outgoing &o : out)
        if (!o.file->commit(durability))
            return unwritable(*o.target, o.file->error());
    return std::nullopt;
}

} // namespace ombrel
