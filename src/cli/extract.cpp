// SPDX-License-Identifier: Apache-2.0
#include "cli/batch.h"
#include "cli/commands.h"
#include "cli/key_option.h"

#include "stego/extraction.h"

#include <optional>
#include <utility>

namespace ombrel::cli {

const char kExtractHelp[] =
    "Usage: ombrel extract IMAGE -o OUT\n"
    "                      [KEY] [--id TEXT | --id-from-name]\n"
    "       ombrel extract IMAGE... -o DIR/ [-j N] [--file-list FILE] [--progress]\n"
    "                      [KEY] [--id TEXT | --id-from-name]\n"
    "Extracts the 512x512 watermark from a watermarked 1024x768 image; needs nothing else.\n"
    "\n"
    "With several images, a folder (standing for its pictures), a --file-list or an\n"
    "OUT that ends in / or is a folder, each watermark goes into DIR (made if\n"
    "missing) under the image's own file name, or with .png for an image in a lossy\n"
    "format; a line each. An image that fails is reported and the others go on (exit status 1).\n"
    "Ctrl-C, SIGTERM or SIGHUP stop after the images under way (exit status 130,\n"
    "143, 129).\n"
    "\n"
    "  -o, --output OUT   the extracted watermark: .bmp (also without extension), .png,\n"
    "                     .tif, .tiff, .ppm or .pgm\n"
    "  -j, --jobs N       images read at once (default: every core)\n"    "  --file-list FILE   the images listed in FILE too, one path a line (- reads\n"
    "                     standard input; blank and # lines skipped)\n"
    "  --progress         a line of progress now and then when stderr is no terminal\n"
    "  --key-file KEY     the image carries a keyed mark: the key it was embedded with;\n"
    "                     without it (or with another key or id) the watermark is noise\n"
    "  --passphrase       the key from a passphrase typed at the terminal\n"
    "  --passphrase-file F  the key from the first line of F\n"
    "  --id TEXT          the id it was embedded with (default \"\")\n"
    "  --id-from-name     each image's id is its file name without the extension\n"
    "KEY is one of --key-file KEY (read once; chmod 600), --passphrase (typed at the\n"
    "terminal) or --passphrase-file F (its first line; chmod 600), as for embed.\n";


namespace {

// One image's watermark, written to output; with key, of a keyed mark.
void extractOne(const std::string &image, const std::string &output, const Keystream *key) {
    std::optional<Surface> watermark;
    {
        ExtractionPipeline pipeline;
        Progress progress;
        // The image is not needed once its bits are gathered.
        ExtractGathered bits = pipeline.gather(coverSurface(image), progress, key);
        std::move(bits).draw(watermark.emplace(makeExtractedSurface()), progress);
    }
    PictureToWrite file{&watermark->image(), output};
    file.spent = &watermark->image();
    save({file});
}

} // namespace

bool extractIsBatch(const Parsed &p) {
    if (p.positional.size() > 1 || option(p, options::kFileList.name))
        return true;
    std::error_code ec;
    if (!p.positional.empty() && std::filesystem::is_directory(p.positional[0], ec))
        return true;
    const auto output = option(p, options::kOutput.name);
    return output && (output->ends_with('/') || std::filesystem::is_directory(*output, ec));
}

int extractCommand(const Parsed &p, std::ostream &out, std::ostream &err) {
    if (p.positional.empty())
        throw UsageError("extract needs IMAGE");
    const bool many = extractIsBatch(p);
    const auto output = required(p, options::kOutput.name,
                                 many ? "extract needs -o DIR" : "extract needs -o OUT");
    const KeyOption key = keyOption(p);
    if (!many) {
        const std::optional<Keystream> stream = key.keystreamFor(p.positional[0]);
        extractOne(p.positional[0], output, keyed(stream));
        out << "Wrote " << output << "\n";
        return kDone;
    }
    const BatchOptions run = batchOptions(p);
    const std::vector<std::string> images = listPictures(p.positional);
    if (images.empty())
        throw Refusal("no image to extract from");
    const std::vector<std::string> outputs = batchOutputs(output, images, false);
    StopSignals guard;
    makeFolder(output);
    const BatchTotals totals = runBatch(images, run, 1, out, err, "", [&](std::size_t i, BatchItem &item) {
        const std::optional<Keystream> stream = key.keystreamFor(images[i]);
        extractOne(images[i], outputs[i], keyed(stream));
        item.tick();
        item.say("Wrote " + outputs[i]);
    });
    return batchStatus(totals, images.size(), "watermarks extracted", err);
}

} // namespace ombrel::cli
