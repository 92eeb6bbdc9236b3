// SPDX-License-Identifier: Apache-2.0
#include "marking/pictures.h"

#include "imaging/fit.h"
#include "imaging/picture_formats.h"
#include "imaging/picture_in.h"
#include "stego/intake.h"
#include "text/texts.h"

#include <string_view>

namespace ombrel::marking {

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

// No previews are shown, so the picture becomes the current image itself
// and the embedding writes into it.
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
        throw sizeRefusal(path, text::kWatermarkWrongSize, fit, "scales and crops a watermark of any size");
    if (check.verdict == Verdict::NotGrey)
        throw sizeRefusal(path, text::kWatermarkNotGrey, fit, "turns a colour watermark grey");
    return surface;
}

} // namespace ombrel::marking
