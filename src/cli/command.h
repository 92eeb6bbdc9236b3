// SPDX-License-Identifier: Apache-2.0
#pragma once

// What every command of the tool shares: its options, loading and writing in
// the tool's own words, and the size checks with their way out.

#include "cli/cli.h"
#include "cli/options.h"
#include "cli/parse.h"
#include "imaging/picture_in.h"
#include "imaging/picture_out.h"
#include "imaging/surface.h"

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace ombrel {
struct Quality;
}

namespace ombrel::cli {

// The threshold option (default 0) in the range the embedding accepts.
int thresholdOption(const Parsed &p);

// "45.12 dB", or "inf dB (identical)".
std::string formatDb(double psnr);
// PSNR, MSE and NC, a line each, after indent.
void printQuality(std::ostream &out, const Quality &q, const std::string &indent = "");

// Any picture the tool reads (BMP, PNG, TIFF, PPM/PGM, ...), by content.
Image load(const std::string &path);
// Each file in the format its name asks for; the names were checked before.
void save(const std::vector<PictureToWrite> &files);

// Whether a command fits pictures of other sizes: not at all, only when
// asked with --fit (then a refusal mentions it), or now.
enum class Fit { NotOffered, Offered, On };
// Offered, or On when p has --fit.
Fit fitOption(const Parsed &p);
// A 1024 x 768 image as the embedding and the extraction take it.
Surface coverSurface(const std::string &path, Fit fit = Fit::NotOffered);
// A 512 x 512 grey watermark.
Surface watermarkSurface(const std::string &path, Fit fit = Fit::NotOffered);
// A CSV field: as it is, or quoted when it holds a comma, a quote or a newline.
std::string csvField(const std::string &s);
// Writes text through a temporary beside path and a rename.
void saveText(const std::string &path, const std::string &text);

// Files as given, folders as their pictures; sorted by path, each once. A
// path given that does not exist or cannot be read is refused, before
// anything is written.
std::vector<std::string> listPictures(const std::vector<std::string> &given);
// Where a batch writes what it makes of each input: the folder and the
// input's own file name, with .png where that name's format cannot hold the
// picture (JPEG, or a grey-only format for colour). Refused when two inputs
// would share an output, or an output would replace an input.
std::vector<std::string> batchOutputs(const std::filesystem::path &folder,
                                      const std::vector<std::string> &inputs, bool colour);
// The folder, made with its parents if missing; refused, naming it, when it
// cannot be. Every command that writes into a folder makes it here.
void makeFolder(const std::filesystem::path &folder);

using Command = int (*)(const Parsed &, std::ostream &out, std::ostream &err);

} // namespace ombrel::cli
