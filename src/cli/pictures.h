// SPDX-License-Identifier: Apache-2.0
#pragma once

// Reading and writing the tool's files in its own words: pictures by
// content, the covers and watermarks with their size checks, the inputs and
// outputs of the many-file forms, and text.

#include "cli/option_values.h"
#include "imaging/picture_in.h"
#include "imaging/picture_out.h"
#include "imaging/surface.h"

#include <filesystem>
#include <string>
#include <vector>

namespace ombrel::cli {

// Any picture the tool reads (BMP, PNG, TIFF, PPM/PGM, ...), by content.
Image load(const std::string &path);
// Each file in the format its name asks for; the names were checked before.
void save(const std::vector<PictureToWrite> &files);

// A 1024 x 768 image as the embedding and the extraction take it.
Surface coverSurface(const std::string &path, Fit fit = Fit::NotOffered);
// A 512 x 512 grey watermark.
Surface watermarkSurface(const std::string &path, Fit fit = Fit::NotOffered);

// Files as given, folders as their pictures; sorted by path, each once. A
// path given that does not exist or cannot be read is refused, before
// anything is written.
std::vector<std::string> listPictures(const std::vector<std::string> &given);
// The paths a --file-list names, one a line as written (spaces and all; a CR
// before the line's end is dropped), blank lines and lines beginning with #
// left out; "-" reads standard input. Refused when the list cannot be read,
// holds a line longer than any path, or names nothing.
std::vector<std::string> listedFiles(const std::string &list);
// Where a batch writes what it makes of each input: the folder and the
// input's own file name, with .png where that name's format cannot hold the
// picture (JPEG, or a grey-only format for colour). Refused when two inputs
// would share an output, or an output would replace an input.
std::vector<std::string> batchOutputs(const std::filesystem::path &folder,
                                      const std::vector<std::string> &inputs, bool colour);
// The folder, made with its parents if missing; refused, naming it, when it
// cannot be. Every command that writes into a folder makes it here.
void makeFolder(const std::filesystem::path &folder);

// A text file's whole content; refused, naming it, when it cannot be read.
std::string readText(const std::string &path);
// Writes text through a temporary beside path and a rename.
void saveText(const std::string &path, const std::string &text);

} // namespace ombrel::cli
