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
};

// Writes several bitmaps all or nothing: every file is encoded to a temporary
// beside its target first, and only when all succeeded are they renamed. Files
// rewritten in place come last, after every other file was written.
std::optional<FileError> saveBitmaps(const std::vector<BitmapToWrite> &files);

} // namespace ombrel
