// SPDX-License-Identifier: Apache-2.0
#include "imaging/picture_formats.h"

#include <QFileInfo>
#include <QString>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iterator>
#include <vector>

namespace ombrel {

namespace {

struct Extension {
    std::string_view name;
    FileFormat format;
    bool shown; // named when a name is refused
};

// Every name a written picture may have, in the order they are shown.
constexpr Extension kWritten[] = {
    {"", FileFormat::Bmp, false},   {"bmp", FileFormat::Bmp, true},  {"dib", FileFormat::Bmp, false},
    {"png", FileFormat::Png, true}, {"tif", FileFormat::Tiff, true}, {"tiff", FileFormat::Tiff, true},
    {"ppm", FileFormat::Ppm, true}, {"pgm", FileFormat::Pgm, true},
};
constexpr std::string_view kLossy[] = {"jpg",  "jpeg", "jpe",  "jfif", "jp2", "j2k", "jpx",
                                       "jxl",  "webp", "heic", "heif", "avif", "jxr", "wdp"};
// Read as covers, never written.
constexpr std::string_view kReadOnly[] = {"jpg", "jpeg"};

std::string suffixOf(const std::string &path) {
    return QFileInfo(QString::fromStdString(path)).suffix().toLower().toStdString();
}

// "a, b or c"
std::string listed(const std::vector<std::string> &items) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i)
        out += (i == 0 ? "" : i + 1 == items.size() ? " or " : ", ") + items[i];
    return out;
}

} // namespace

Result<FileFormat, FileError> formatForName(const std::string &path) {
    const std::string suffix = suffixOf(path);
    for (const Extension &e : kWritten)
        if (suffix == e.name)
            return e.format;
    const bool lossy = std::find(std::begin(kLossy), std::end(kLossy), suffix) != std::end(kLossy);
    return FileError{path, lossy ? FileProblem::LossyFormat : FileProblem::UnknownFormat, suffix};
}

Result<FileFormat, FileError> formatForName(const std::string &path, bool colour) {
    auto format = formatForName(path);
    if (format && colour && *format == FileFormat::Pgm)
        return FileError{path, FileProblem::ColourInGrey, "; name it " + writtenExtensions(true)};
    return format;
}

bool isPictureName(const std::string &path) {
    // As a folder listing sees it: a hidden file's whole name is no extension.
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext.empty())
        return false;
    const std::string_view suffix = std::string_view(ext).substr(1);
    return std::any_of(std::begin(kWritten), std::end(kWritten),
                       [&](const Extension &e) { return e.shown && e.name == suffix; }) ||
           std::find(std::begin(kReadOnly), std::end(kReadOnly), suffix) != std::end(kReadOnly);
}

std::string writtenExtensions(bool colour) {
    std::vector<std::string> names;
    for (const Extension &e : kWritten)
        if (e.shown && !(colour && e.format == FileFormat::Pgm))
            names.push_back("." + std::string(e.name));
    return listed(names);
}

std::string readableFormatNames() { return listed({"BMP", "PNG", "TIFF", "PPM", "PGM"}); }

} // namespace ombrel
