// SPDX-License-Identifier: Apache-2.0
// Colour words into files, in the format each name asks for, all or nothing.
#include "imaging/picture_out.h"

#include "imaging/library_noise.h"
#include "imaging/qt_image.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>

#include <algorithm>
#include <memory>
#include <optional>

namespace ombrel {

namespace {

// Every file we write says 96 dots per inch, the desktop's resolution, so the
// desktop program and the command-line tool write the same bytes.
constexpr int kDotsPerMetre = 3780;

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

QImage colourQImage(const PictureToWrite &f) {
    return f.spent ? inPlaceQImage(*f.spent) : toQImage(*f.image);
}

// The Qt image that holds the picture exactly in the file's format; none for
// a colour picture in a grey-only format. Bitmaps keep the kind asked for.
std::optional<QImage> encodable(const PictureToWrite &f) {
    switch (f.format) {
    case FileFormat::Bmp:
        return f.kind == PictureKind::Grey8 ? toGreyQImage(*f.image) : colourQImage(f);
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

FileError unwritable(const PictureToWrite &f, const std::string &why) {
    return FileError{f.path, FileProblem::Unwritable, why};
}

// Encodes the picture onto device; the reason when that failed.
std::optional<std::string> encode(const QImage &picture, FileFormat format, QIODevice &device) {
    const LibraryNoise quiet;
    QImageWriter writer(&device, writerFormat(format));
    if (writer.write(picture))
        return std::nullopt;
    const auto *file = qobject_cast<const QFileDevice *>(&device);
    return (file && file->error() != QFileDevice::NoError ? file->errorString() : writer.errorString())
        .toStdString();
}

// Encodes straight into the replacement's open file; the reason when that failed.
std::optional<std::string> encodeInto(const QImage &picture, FileFormat format, FileReplacement &target) {
    QFile file;
    if (!file.open(target.fd(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
        return file.errorString().toStdString();
    if (auto why = encode(picture, format, file))
        return why;
    if (!file.flush())
        return file.errorString().toStdString();
    return std::nullopt;
}

// One file of a save and, for a file rewritten in place, its bytes waiting.
struct Outgoing {
    const PictureToWrite *target;
    std::unique_ptr<FileReplacement> file;
    QByteArray bytes;
};

} // namespace

Result<void, FileError> saveBitmap(const Image &image, const std::string &path, PictureKind kind) {
    return savePictures({{&image, path, kind}});
}

Result<void, FileError> savePictures(const std::vector<PictureToWrite> &files, Durability durability) {
    for (const PictureToWrite &f : files) {
        if (f.path.empty())
            return FileError{f.path, FileProblem::NoFileName};
        if (QFileInfo(QString::fromStdString(f.path)).isDir())
            return FileError{f.path, FileProblem::IsFolder};
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
    for (const PictureToWrite &f : files) {
        std::optional<QImage> picture = encodable(f);
        if (!picture)
            return fail(FileError{f.path, FileProblem::ColourInGrey});
        picture->setDotsPerMeterX(kDotsPerMetre);
        picture->setDotsPerMeterY(kDotsPerMetre);
        Outgoing &o = out.emplace_back(Outgoing{&f, std::make_unique<FileReplacement>(f.path), {}});
        if (o.file->openTemporary()) {
            if (auto why = encodeInto(*picture, f.format, *o.file))
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
        if (!o->file->openInPlace() ||
            !o->file->write(std::string_view(o->bytes.constData(), static_cast<std::size_t>(o->bytes.size()))))
            return fail(unwritable(*o->target, o->file->error()));
    for (Outgoing &o : out)
        if (!o.file->commit(durability))
            return unwritable(*o.target, o.file->error());
    return {};
}

} // namespace ombrel
