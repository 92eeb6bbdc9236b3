#pragma once

#include "imaging/surface.h"

#include <optional>
#include <string>
#include <vector>

namespace ombrel {

// Bitmaps past this many pixels (8192 x 4096) are refused before anything is
// allocated; this program works on 1024 x 768 and 512 x 512.
inline constexpr long long kMaxBitmapPixels = 32LL * 1024 * 1024;

// Why a bitmap was refused or could not be written; tests compare these,
// people read the reason.
enum class FileProblem {
    None,
    NoSuchFile,
    IsFolder,
    Unreadable,
    Empty,
    NotBitmap,
    TruncatedHeader,
    UnsupportedHeader,
    NoPixels,
    TooLarge,
    TruncatedPixels,
    RunLengthTooLong, // claims more pixels than its compressed data can spell
    Undecodable,
    NoFileName,
    Unwritable,
    NotPicture,      // no image format recognised in the content
    SixteenBit,      // more than 8 bits a channel
    Translucent,     // an alpha channel with a pixel that is not fully opaque
    LossyFormat,     // an output name asking for lossy compression
    UnknownFormat,   // an output name whose extension names no format written here
    ColourInGrey,    // a colour picture for a grey-only format
};

struct FileError {
    std::string path;
    std::string reason;
    FileProblem problem = FileProblem::None;
    // One line naming the file and the reason.
    std::string message() const { return path + ": " + reason; }
    void refuse(FileProblem why, std::string words) {
        problem = why;
        reason = std::move(words);
    }
};

struct LoadedBitmap {
    std::optional<Image> image;
    FileError error; // set when image is empty

    bool ok() const { return image.has_value(); }
};

// Decodes a Windows bitmap (any depth, palette, top-down, RLE, v4/v5 header)
// into colour words. Anything else, a truncated file or an absurd size is
// refused with a plain reason.
LoadedBitmap loadBitmap(const std::string &path);

// The same for bytes already in memory; name only labels the error.
LoadedBitmap decodeBitmap(const char *data, std::size_t size, const std::string &name);

// Any picture Qt's image plugins read, chosen by the content, not the name:
// BMP (as loadBitmap), PNG, TIFF, PPM/PGM, and JPEG and the like as well.
// Palettes and fully opaque alpha become RGB; 16-bit channels, a pixel that is
// not fully opaque, and a header claiming more than kMaxBitmapPixels are
// refused rather than reduced.
LoadedBitmap loadPicture(const std::string &path);
LoadedBitmap decodePicture(const char *data, std::size_t size, const std::string &name);

// Lossless formats a picture can be written in.
enum class FileFormat { Bmp, Png, Tiff, Ppm, Pgm };

struct FormatChoice {
    std::optional<FileFormat> format;
    FileError error; // set when format is empty
};

// The format an output name's extension asks for (case does not matter): .bmp,
// .png, .tif/.tiff, .ppm, .pgm; a name without one is a bitmap. A lossy
// extension (.jpg, .webp, ...) or an unknown one is refused with the reason.
FormatChoice formatForName(const std::string &path);

enum class BitmapKind {
    Rgb24, // every colour word survives a save and a reload
    Grey8, // 8 bits through a grey colour table; for pictures that are all grey
};

// Writes an uncompressed bitmap through a temporary file and a rename, so an
// existing file is never left half-written. Only where the folder refuses a
// temporary but the file itself may be written (a writable copy in someone
// else's folder) is the file rewritten in place.
std::optional<FileError> saveBitmap(const Image &image, const std::string &path,
                                    BitmapKind kind = BitmapKind::Rgb24);

struct BitmapToWrite {
    const Image *image;
    std::string path;
    BitmapKind kind = BitmapKind::Rgb24;
    // PNG and TIFF hold a picture whose every pixel is grey as 8-bit grey;
    // PGM takes grey pictures only.
    FileFormat format = FileFormat::Bmp;
    // The same picture as image, given up by a caller that is done with it:
    // its pixels are put into the codec's byte order where they lie instead
    // of in a copy, and are left in no particular state.
    Image *spent = nullptr;
};

// Whether a save waits for its data to reach the disk before it renames.
enum class Durability {
    Synced,  // a save a person asked for: forced to disk, then renamed
    Renamed, // a batch tool's save (as sed -i or sort -o): written and renamed;
             // the system writes it out, and a power cut may still lose it
};

// Writes several bitmaps all or nothing: every file is encoded into a
// temporary beside its target, and only when all succeeded are they renamed.
// A file whose folder refuses a temporary is encoded in memory and rewritten
// in place last, after every other file was written. A symbolic link is
// followed; a replaced file keeps its permissions.
std::optional<FileError> saveBitmaps(const std::vector<BitmapToWrite> &files,
                                     Durability durability = Durability::Synced);

} // namespace ombrel
