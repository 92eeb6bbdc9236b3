// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/file_error.h"
#include "imaging/result.h"

#include <string>
#include <string_view>

namespace ombrel {

// Lossless formats a picture can be written in.
enum class FileFormat { Bmp, Png, Tiff, Ppm, Pgm };

// The format an output name's extension asks for (case does not matter): .bmp,
// .png, .tif/.tiff, .ppm, .pgm; a name without one is a bitmap. A lossy
// extension (.jpg, .webp, ...) or an unknown one is refused.
Result<FileFormat, FileError> formatForName(const std::string &path);
// The same for a picture that has colour (colour true): a grey-only format
// is refused too, with the names that would do.
Result<FileFormat, FileError> formatForName(const std::string &path, bool colour);

// Whether a folder's file is taken for a picture: a name of a format written
// here, or a JPEG (read, never written).
bool isPictureName(const std::string &path);

// ".bmp, .png, .tif, .tiff, .ppm or .pgm", or without .pgm for a picture in colour.
std::string writtenExtensions(bool colour);
// "BMP, PNG, TIFF, PPM or PGM".
std::string readableFormatNames();

} // namespace ombrel
