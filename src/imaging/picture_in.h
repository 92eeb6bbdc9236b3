// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/file_error.h"
#include "imaging/result.h"
#include "imaging/surface.h"

#include <cstddef>
#include <string>

namespace ombrel {

// A decoded picture, or why it was refused.
using LoadedPicture = Result<Image, FileError>;

// Decodes a Windows bitmap (any depth, palette, top-down, RLE, v4/v5 header)
// into colour words. Anything else, a truncated file or an absurd size is
// refused with a plain reason.
LoadedPicture loadBitmap(const std::string &path);

// The same for bytes already in memory; name only labels the error.
LoadedPicture decodeBitmap(const char *data, std::size_t size, const std::string &name);

// Any picture Qt's image plugins read, chosen by the content, not the name:
// BMP (as loadBitmap), PNG, TIFF, PPM/PGM, and JPEG and the like as well.
// Palettes and fully opaque alpha become RGB; 16-bit channels, a pixel that is
// not fully opaque, and a header claiming more than kMaxPicturePixels are
// refused rather than reduced.
LoadedPicture loadPicture(const std::string &path);

// The same for bytes already in memory; name only labels the error.
LoadedPicture decodePicture(const char *data, std::size_t size, const std::string &name);

// Qt's image plugins and the libraries behind them (libpng, libtiff, ...)
// print warnings of their own to stderr, often about pictures that read
// well. Called with true, from then on while a picture is read or saved
// (loadPicture, savePictures and the rest) the process's stderr (descriptor
// 2) is kept in memory and Qt's message handler is replaced, both put back
// once no picture is being read or saved; a refusal quotes the libraries'
// last words. Anything else the program writes to stderr meanwhile, on any
// thread, is caught as well. Until a program calls this, or after it calls
// it with false, neither is touched. Best called once, before the first
// picture.
void keepLibraryNoiseOffStderr(bool keep = true);

} // namespace ombrel
