// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/file_error.h"
#include "imaging/file_replacement.h"
#include "imaging/picture_formats.h"
#include "imaging/result.h"
#include "imaging/surface.h"

#include <string>
#include <vector>

namespace ombrel {

enum class PictureKind {
    Rgb24, // every colour word survives a save and a reload
    Grey8, // 8 bits through a grey colour table; for pictures that are all grey
};

struct PictureToWrite {
    const Image *image;
    std::string path;
    PictureKind kind = PictureKind::Rgb24; // for bitmaps
    // PNG and TIFF hold a picture whose every pixel is grey as 8-bit grey;
    // PGM takes grey pictures only.
    FileFormat format = FileFormat::Bmp;
    // The same picture as image, given up by a caller that is done with it:
    // its pixels are put into the codec's byte order where they lie instead
    // of in a copy, and are left in no particular state.
    Image *spent = nullptr;
};

// Writes several pictures all or nothing: every file is encoded into a
// temporary beside its target, and only when all succeeded are they renamed.
// A file whose folder refuses a temporary is encoded in memory and rewritten
// in place last, after every other file was written.
Result<void, FileError> savePictures(const std::vector<PictureToWrite> &files,
                                     Durability durability = Durability::Synced);

// One uncompressed bitmap, forced to disk: a save a person asked for.
Result<void, FileError> saveBitmap(const Image &image, const std::string &path,
                                   PictureKind kind = PictureKind::Rgb24);

} // namespace ombrel
