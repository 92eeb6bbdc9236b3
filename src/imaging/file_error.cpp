// SPDX-License-Identifier: Apache-2.0
#include "imaging/file_error.h"

#include "imaging/picture_formats.h"

namespace ombrel {

std::string fileProblemText(FileProblem problem, std::string_view detail) {
    const std::string d(detail);
    switch (problem) {
    case FileProblem::NoSuchFile:
        return "no such file";
    case FileProblem::IsFolder:
        return "is a folder, not a file";
    case FileProblem::Unreadable:
        return "cannot be read: " + d;
    case FileProblem::Empty:
        return "the file is empty";
    case FileProblem::NotBitmap:
        return "not a Windows bitmap";
    case FileProblem::TruncatedHeader:
        return "truncated bitmap header";
    case FileProblem::UnsupportedHeader:
        return "unsupported bitmap header";
    case FileProblem::NoPixels:
        return "the bitmap has no pixels";
    case FileProblem::TooLarge:
        return "the " + d + " pixels, more than this program accepts";
    case FileProblem::TruncatedPixels:
        return "truncated pixel data";
    case FileProblem::RunLengthTooLong:
        return "the bitmap claims more pixels than its compressed data can hold";
    case FileProblem::Undecodable:
        return "not a readable " + d;
    case FileProblem::NoFileName:
        return "no file name given";
    case FileProblem::Unwritable:
        return "cannot be written: " + d;
    case FileProblem::NotPicture:
        return "not a picture this program reads (" + readableFormatNames() + ")";
    case FileProblem::SixteenBit:
        return "16 bits a channel; this program takes 8 and will not round them away";
    case FileProblem::Translucent:
        return "has pixels that are not fully opaque; the watermark needs plain colours, so "
               "flatten the picture first";
    case FileProblem::LossyFormat:
        return "." + d + " is a lossy format, and lossy compression destroys the watermark; " +
               "name it " + writtenExtensions(false);
    case FileProblem::UnknownFormat:
        return "." + d + " is not a format this program writes; name it " + writtenExtensions(false);
    case FileProblem::ColourInGrey:
        return "a PGM file holds grey pictures only, and this one has colour" + d;
    }
    return "unknown problem";
}

std::string sizeClaim(std::string_view kind, long long width, long long height) {
    return std::string(kind) + " claims " + std::to_string(width) + " x " + std::to_string(height);
}

} // namespace ombrel
