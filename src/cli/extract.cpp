#include "cli/commands.h"
#include "cli/key_option.h"

#include "stego/extraction.h"

#include <optional>

namespace ombrel::cli {

const char kExtractHelp[] =
    "Usage: ombrel extract IMAGE -o OUT\n"
    "                      [--key-file KEY [--id TEXT]]\n"
    "Extracts the 512x512 watermark from a watermarked 1024x768 image; needs nothing else.\n"
    "\n"
    "  -o, --output OUT   the extracted watermark: .bmp (also without extension), .png,\n"
    "                     .tif, .tiff, .ppm or .pgm\n"
    "  --key-file KEY     the image carries a keyed mark: the key it was embedded with;\n"
    "                     without it (or with another key or id) the watermark is noise\n"
    "  --id TEXT          the id it was embedded with (default \"\")\n";

int extractCommand(const Parsed &p, std::ostream &out, std::ostream &) {
    expectPositional(p, 1, "extract needs IMAGE");
    const auto output = required(p, options::kOutput.name, "extract needs -o OUT");
    const std::optional<Keystream> key = keystreamOption(p);
    std::optional<Surface> watermark;
    {
        ExtractionPipeline pipeline;
        Progress progress;
        // The image is not needed once its bits are gathered.
        pipeline.gather(coverSurface(p.positional[0]), progress, keyed(key));
        pipeline.scale(progress);
        pipeline.invert();
        pipeline.draw(watermark.emplace(makeExtractedSurface()), progress);
    }
    PictureToWrite file{&watermark->image(), output};
    file.spent = &watermark->image();
    save({file});
    out << "Wrote " << output << "\n";
    return kDone;
}

} // namespace ombrel::cli
