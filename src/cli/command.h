#pragma once

// What every command of the tool shares: parsed arguments, the two kinds of
// failure, and loading and writing in the tool's own words.

#include "cli/cli.h"
#include "imaging/picture_in.h"
#include "imaging/picture_out.h"
#include "imaging/surface.h"

#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace ombrel::cli {

// A command line that does not make sense: exit status 2 with the command's help.
struct UsageError {
    std::string message;
};

// A failed command: the one line that goes to stderr, exit status 1.
struct Refusal {
    std::string message;
};

// Positional arguments and the values of the options a command knows. An
// option given more than once keeps every value, in order.
struct Parsed {
    std::vector<std::string> positional;
    std::map<std::string, std::vector<std::string>> options;
    bool help = false;
};

// The last value given for the option, if any.
std::optional<std::string> option(const Parsed &p, const std::string &name);
// The option's value; a usage error with message when it is missing.
std::string required(const Parsed &p, const std::string &name, const std::string &message);
// Exactly count positional arguments, or a usage error with message.
void expectPositional(const Parsed &p, std::size_t count, const std::string &message);
// The threshold option (default 0) in the range the embedding accepts.
int thresholdOption(const Parsed &p);

// "45.12 dB", or "inf dB (identical)".
std::string formatDb(double psnr);

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
// Writes text through a temporary beside path and a rename.
void saveText(const std::string &path, const std::string &text);

using Command = int (*)(const Parsed &, std::ostream &out, std::ostream &err);

} // namespace ombrel::cli
