// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <string>
#include <string_view>

namespace ombrel {

// Pictures past this many pixels (8192 x 4096) are refused before anything is
// allocated; this program works on 1024 x 768 and 512 x 512.
inline constexpr long long kMaxPicturePixels = 32LL * 1024 * 1024;

// Why a picture file was refused or could not be written; tests compare
// these, people read fileProblemText.
enum class FileProblem {
    NoSuchFile,
    IsFolder,
    Unreadable,       // detail: the system's reason
    Empty,
    NotBitmap,
    TruncatedHeader,
    UnsupportedHeader,
    NoPixels,
    TooLarge,         // detail: what claims the size, as sizeClaim gives it
    TruncatedPixels,
    RunLengthTooLong, // claims more pixels than its compressed data can spell
    Undecodable,      // detail: the kind of picture and the codec's reason
    NoFileName,
    Unwritable,       // detail: the system's or the codec's reason
    NotPicture,       // no image format recognised in the content
    SixteenBit,       // more than 8 bits a channel
    Translucent,      // an alpha channel with a pixel that is not fully opaque
    LossyFormat,      // an output name asking for lossy compression; detail: the extension
    UnknownFormat,    // an output name whose extension names no format written here; detail: the extension
    ColourInGrey,     // a colour picture for a grey-only format; detail: a remedy, or nothing
};

// The words for a problem, with its detail in its place.
std::string fileProblemText(FileProblem problem, std::string_view detail = {});

// The detail of a TooLarge refusal: "bitmap" or "picture", and the size claimed.
std::string sizeClaim(std::string_view kind, long long width, long long height);

struct FileError {
    std::string path;
    FileProblem problem;
    std::string detail = {};

    std::string reason() const { return fileProblemText(problem, detail); }
    // One line naming the file and the reason.
    std::string message() const { return path + ": " + reason(); }
};

} // namespace ombrel
