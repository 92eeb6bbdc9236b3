// SPDX-License-Identifier: Apache-2.0
#include "cli/commands.h"

#include "imaging/quality.h"
#include "imaging/sample_images.h"
#include "stego/embedding.h"
#include "stego/extraction.h"
#include "text/file_names.h"

#include <filesystem>

namespace ombrel::cli {

const char kDemoHelp[] =
    "Usage: ombrel demo [DIR]\n"
    "Writes the sample cover and watermark into DIR (default ./ombrel-demo), embeds,\n"
    "extracts, and compares the extracted watermark with the original.\n";

int demoCommand(const Parsed &p, std::ostream &out, std::ostream &) {
    if (p.positional.size() > 1)
        throw UsageError("demo takes at most one folder");
    const std::filesystem::path dir = p.positional.empty() ? "ombrel-demo" : p.positional[0];
    makeFolder(dir);
    auto in = [&](const char *name) { return (dir / name).string(); };

    const Image coverImage = sampleCover();
    const Image watermarkImage = sampleWatermark();
    const EmbedResult embedded = embed(surfaceOf(coverImage), surfaceOf(watermarkImage), 0);
    const Surface extracted = extract(embedded.watermarked);
    // The embedding's own files under the names the desktop program gives
    // them, beside the samples and the extracted watermark.
    namespace names = text::file_names;
    const std::vector<PictureToWrite> files{
        {&coverImage, in("cover.bmp")},
        {&watermarkImage, in("watermark.bmp"), PictureKind::Grey8},
        {&embedded.watermarked.image(), in(names::kWatermarked)},
        {&embedded.firstPicture.image(), in(names::kFirstPicture)},
        {&embedded.secondPicture.image(), in(names::kSecondPicture)},
        {&extracted.image(), in("watermark-extracted.bmp")},
    };
    save(files);
    for (const auto &f : files)
        out << "Wrote " << f.path << "\n";
    out << "Watermarked image against the cover:\n";
    printQuality(out, *compareImages(coverImage, embedded.watermarked.image()), "  ");
    out << "Extracted watermark against the original:\n";
    printQuality(out, *compareImages(watermarkImage, extracted.image()), "  ");
    return kDone;
}

} // namespace ombrel::cli
