// SPDX-License-Identifier: Apache-2.0
#include "cli/pictures.h"

#include "cli/cli.h"
#include "imaging/fit.h"
#include "stego/intake.h"
#include "text/texts.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include <fcntl.h>
#include <unistd.h>

namespace ombrel::cli {

Image load(const std::string &path) {
    LoadedPicture loaded = loadPicture(path);
    if (!loaded.ok())
        throw Refusal(loaded.error().message());
    return std::move(*loaded);
}

void save(const std::vector<PictureToWrite> &files) {
    std::vector<PictureToWrite> named = files;
    for (PictureToWrite &f : named)
        f.format = formatForName(f.path).value_or(FileFormat::Bmp);
    // Renamed into place but not forced to disk, as batch tools do: a run of
    // many files would otherwise wait on the disk for each one.
    if (const auto saved = savePictures(named, Durability::Renamed); !saved)
        throw Refusal(saved.error().message());
}

namespace {

// The program's refusal, and where fitting would help, the way out.
Refusal sizeRefusal(const std::string &path, std::string_view words, Fit fit, const char *remedy) {
    std::string message = path + ": " + std::string(words);
    if (fit == Fit::Offered)
        message += std::string("; --fit ") + remedy;
    return Refusal(message);
}

} // namespace

// The tool shows no previews, so the picture becomes the current image
// itself and the embedding writes into it.
Surface coverSurface(const std::string &path, Fit fit) {
    Image image = fit == Fit::On ? fitCover(load(path)) : load(path);
    if (checkCover(image.width, image.height) != Verdict::Suitable)
        throw sizeRefusal(path, text::kCoverWrongSize, fit, "scales and crops a cover of any size");
    return Surface(std::move(image));
}

Surface watermarkSurface(const std::string &path, Fit fit) {
    const Surface surface = surfaceOf(fit == Fit::On ? fitWatermark(load(path)) : load(path));
    const WatermarkCheck check = checkWatermark(surface.width(), surface.height(), surface);
    if (check.verdict == Verdict::WrongSize)
        throw sizeRefusal(path, text::kWatermarkWrongSize, fit,
                          "scales and crops a watermark of any size");
    if (check.verdict == Verdict::NotGrey)
        throw sizeRefusal(path, text::kWatermarkNotGrey, fit, "turns a colour watermark grey");
    return surface;
}

std::vector<std::string> listPictures(const std::vector<std::string> &given) {
    std::vector<std::string> pictures;
    for (const std::string &g : given) {
        std::error_code ec;
        if (std::filesystem::is_directory(g, ec)) {
            for (const auto &entry : std::filesystem::directory_iterator(g, ec))
                if (isPictureName(entry.path().string()) && !entry.is_directory(ec))
                    pictures.push_back(entry.path().string());
            if (ec)
                throw Refusal(g + ": cannot read the folder: " + ec.message());
            continue;
        }
        // A typo must not read as an empty, successful run.
        const int fd = ::open(g.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            const FileProblem problem = errno == ENOENT ? FileProblem::NoSuchFile : FileProblem::Unreadable;
            throw Refusal(FileError{g, problem, std::strerror(errno)}.message());
        }
        ::close(fd);
        pictures.push_back(g);
    }
    std::sort(pictures.begin(), pictures.end());
    pictures.erase(std::unique(pictures.begin(), pictures.end()), pictures.end());
    return pictures;
}

std::vector<std::string> listedFiles(const std::string &list) {
    const bool standardInput = list == "-";
    const std::string name = standardInput ? std::string("the file list on standard input") : list;
    std::ifstream file;
    if (!standardInput) {
        file.open(list, std::ios::binary);
        if (!file) {
            const FileProblem problem = errno == ENOENT ? FileProblem::NoSuchFile : FileProblem::Unreadable;
            throw Refusal(FileError{list, problem, std::strerror(errno)}.message());
        }
    }
    std::istream &in = standardInput ? std::cin : file;
    // Longer than PATH_MAX: no path, and no reason to read a megabyte line.
    constexpr std::size_t kLongestLine = 4096;
    std::vector<std::string> paths;
    std::string line;
    for (std::size_t number = 1;; ++number) {
        line.clear();
        char c;
        while (in.get(c) && c != '\n') {
            if (line.size() == kLongestLine)
                throw Refusal(name + ": line " + std::to_string(number) + " is longer than any path");
            line += c;
        }
        if (line.empty() && !in)
            break;
        if (line.ends_with('\r'))
            line.pop_back();
        const bool blank = line.find_first_not_of(" \t") == std::string::npos;
        if (!blank && !line.starts_with('#'))
            paths.push_back(line);
        if (!in)
            break;
    }
    if (in.bad() || (!standardInput && !in.eof()))
        throw Refusal(name + ": cannot be read: " + std::strerror(errno));
    if (paths.empty())
        throw Refusal(name + ": lists no file");
    return paths;
}

std::vector<std::string> batchOutputs(const std::filesystem::path &folder,
                                      const std::vector<std::string> &inputs, bool colour) {
    std::vector<std::string> outputs;
    std::map<std::string, std::string> from; // output -> the input it is made of
    for (const std::string &input : inputs) {
        std::filesystem::path name = std::filesystem::path(input).filename();
        if (!formatForName(name.string(), colour))
            name.replace_extension(".png");
        const std::string output = (folder / name).string();
        if (const auto [it, added] = from.emplace(output, input); !added)
            throw Refusal(it->second + " and " + input + " would both be written as " + output);
        std::error_code ec;
        if (std::filesystem::equivalent(input, output, ec))
            throw Refusal(output + ": would replace the picture it is made of");
        outputs.push_back(output);
    }
    return outputs;
}

void makeFolder(const std::filesystem::path &folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
        throw Refusal(folder.string() + ": cannot create the folder: " + ec.message());
}

std::string readText(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in)
        throw Refusal(path + ": cannot be read: " + std::strerror(errno));
    return text.str();
}

void saveText(const std::string &path, const std::string &text) {
    // As the pictures are: a temporary beside the file, renamed over it.
    if (const auto saved = replaceFile(path, text, Durability::Renamed); !saved)
        throw Refusal(saved.error().message());
}

} // namespace ombrel::cli
