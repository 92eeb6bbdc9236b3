// SPDX-License-Identifier: Apache-2.0
#include "cli/batch.h"
#include "cli/commands.h"
#include "cli/key_option.h"

#include "stego/embedding.h"

#include <memory>
#include <optional>

namespace ombrel::cli {

const char kEmbedHelp[] =
    "Usage: ombrel embed COVER WATERMARK [-t N] [--fit] -o OUT [--wavelet-picture FILE]\n"
    "                    [--quantised-picture FILE] [KEY] [--id TEXT | --id-from-name]\n"
    "       ombrel embed COVER... --watermark W [-t N] [--fit] -o DIR [-j N]\n"
    "                    [--file-list FILE] [--progress] [KEY] [--id TEXT | --id-from-name]\n"
    "Hides the watermark (512x512, grey) in the cover (1024x768) and writes the\n"
    "watermarked image to OUT; prints its PSNR against the cover.\n"
    "\n"
    "With --watermark (or --file-list) every COVER is a cover (a folder stands for\n"
    "its pictures, as for evaluate), and each marked image goes into DIR (made if\n"
    "missing) under the cover's own file name, or with .png for a cover in a lossy\n"
    "format; a line each. A cover that fails is reported and the others go on (exit\n"
    "status 1). Ctrl-C, SIGTERM or SIGHUP stop after the covers under way (exit\n"
    "status 130, 143, 129).\n"
    "\n"
    "  -t, --threshold N          coefficients below N are dropped (-255..255, default 0)\n"
    "  --fit                      take a cover and a watermark of any size: scale each,\n"
    "                             keeping its shape, to cover 1024x768 (512x512), cut out\n"
    "                             the centre, and turn the watermark grey (BT.601)\n"
    "  -o, --output OUT           the watermarked image: .bmp (also without extension),\n"
    "                             .png, .tif, .tiff, .ppm; lossy formats are refused\n"
    "  --wavelet-picture FILE     picture of the coefficients after thresholding\n"
    "  --quantised-picture FILE   picture of the coefficients after quantisation\n"
    "  --watermark W              the watermark, for many covers into the folder DIR\n"
    "  -j, --jobs N               covers marked at once (default: every core)\n"    "  --file-list FILE           the covers listed in FILE too, one path a line (-\n"
    "                             reads standard input; blank and # lines skipped)\n"
    "  --progress                 a line of progress now and then when stderr is no\n"
    "                             terminal (a log)\n"
    "KEY is one of:\n"
    "  --key-file KEY             a keyed mark, bound to the key in KEY (ombrel keygen)\n"
    "                             and to each 8x8 block's content: verify with the key\n"
    "                             then finds any change to the image. KEY is read once\n"
    "                             (a pipe or <(...) serves) and must be its owner's\n"
    "                             alone (chmod 600)\n"
    "  --passphrase               the key from a passphrase typed at the terminal,\n"
    "                             without echo, twice\n"
    "  --passphrase-file F        the key from the first line of F (chmod 600); a\n"
    "                             passphrase is only as strong as itself\n"
    "  --id TEXT                  the image's own name in the keyed mark (default \"\"):\n"
    "                             give every image its own, or a region pasted from\n"
    "                             another image marked with the key goes unseen\n"
    "  --id-from-name             each image's id is its file name without the\n"
    "                             extension: the cover's, or for one cover OUT's\n";

namespace {

// What the command line asks of every cover.
struct EmbedSettings {
    int threshold;
    Fit fit;
    KeyOption key;
};

EmbedSettings embedSettings(const Parsed &p) {
    return {thresholdOption(p), fitOption(p), keyOption(p, Passphrase::Confirm)};
}

// The watermark read, transformed and quantised, as every cover gets it;
// the coefficient pictures are drawn only when asked for.
EmbedQuantised prepareMark(EmbeddingPipeline &pipeline, const Surface &watermark, const EmbedSettings &s,
                           Surface *waveletPicture = nullptr, Surface *quantisedPicture = nullptr) {
    Progress progress;
    return pipeline.read(nullptr, &watermark, progress)
        .transform(s.threshold, progress, waveletPicture)
        .quantise(quantisedPicture);
}

// One cover of a batch: marked in place, the PSNR summed as the pixels
// change, written to output; the PSNR against the cover.
double markCover(const EmbedQuantised &mark, const EmbedSettings &s, const std::string &cover,
                 const std::string &output) {
    const std::optional<Keystream> key = s.key.keystreamFor(cover);
    HashedPicture read(keyed(key), [&] { return coverSurface(cover, s.fit); });
    Surface &surface = read.picture;
    Progress progress;
    double psnr = 0;
    mark.embedInPlace(surface, progress, &psnr, read.hashes());
    read.doneHashing();
    // The tool is done with the cover's pixels: the codec may take them as they lie.
    PictureToWrite file{&surface.image(), output};
    file.spent = &surface.image();
    save({file});
    return psnr;
}

int embedMany(const Parsed &p, std::ostream &out, std::ostream &err) {
    using namespace options;
    if (p.positional.empty())
        throw UsageError("embed needs at least one COVER");
    const std::string folder = required(p, kOutput.name, "embed needs -o DIR");
    for (const OptionDef &one : {kWaveletPicture, kQuantisedPicture})
        if (option(p, one.name))
            throw UsageError(std::string(one.spelling) + " takes one cover: embed COVER WATERMARK");
    const EmbedSettings settings = embedSettings(p);
    const BatchOptions run = batchOptions(p);
    const Surface watermark =
        watermarkSurface(required(p, kWatermark.name, "embed needs --watermark W for many covers"), settings.fit);
    const std::vector<std::string> covers = listPictures(p.positional);
    if (covers.empty())
        throw Refusal("no cover to mark");
    const std::vector<std::string> outputs = batchOutputs(folder, covers, true);
    warnOfSharedIds(covers, settings.key, err);

    // One pipeline for every cover: embedding into one only reads it.
    const auto pipeline = std::make_unique<EmbeddingPipeline>();
    const EmbedQuantised mark = prepareMark(*pipeline, watermark, settings);
    StopSignals guard;
    makeFolder(folder);
    const BatchTotals totals = runBatch(covers, run, 1, out, err, "", [&](std::size_t i, BatchItem &item) {
        const double psnr = markCover(mark, settings, covers[i], outputs[i]);
        item.tick();
        item.say("Wrote " + outputs[i] + ", PSNR " + formatDb(psnr));
    });
    return batchStatus(totals, covers.size(), "covers marked", err);
}

} // namespace

bool embedIsBatch(const Parsed &p) {
    return option(p, options::kWatermark.name) || option(p, options::kFileList.name);
}

int embedCommand(const Parsed &p, std::ostream &out, std::ostream &err) {
    if (embedIsBatch(p))
        return embedMany(p, out, err);
    expectPositional(p, 2, "embed needs COVER and WATERMARK");
    const auto output = required(p, options::kOutput.name, "embed needs -o OUT");
    const EmbedSettings settings = embedSettings(p);
    const auto waveletPath = option(p, options::kWaveletPicture.name);
    const auto quantisedPath = option(p, options::kQuantisedPicture.name);
    const std::optional<Keystream> key = settings.key.keystreamFor(output);

    // A keyed mark's hashes read only the bits the mark leaves, so they are
    // taken while the watermark is read and transformed.
    HashedPicture read(keyed(key), [&] { return coverSurface(p.positional[0], settings.fit); });
    Surface &cover = read.picture;
    std::optional<Surface> waveletPicture, quantisedPicture;
    double psnr = 0;
    {
        // The pipeline's matrices go before anything is encoded.
        EmbeddingPipeline pipeline;
        const EmbedQuantised mark =
            prepareMark(pipeline, watermarkSurface(p.positional[1], settings.fit), settings,
                        waveletPath ? &waveletPicture.emplace(makeWaveletSurface()) : nullptr,
                        quantisedPath ? &quantisedPicture.emplace(makeWaveletSurface()) : nullptr);
        // In place, the PSNR summed as the pixels change.
        Progress progress;
        mark.embedInPlace(cover, progress, &psnr, read.hashes());
    }
    read.doneHashing();

    // The tool is done with the cover's pixels: the codec may take them as they lie.
    std::vector<PictureToWrite> files{{&cover.image(), output}};
    files.front().spent = &cover.image();
    if (waveletPath)
        files.push_back({&waveletPicture->image(), *waveletPath});
    if (quantisedPath)
        files.push_back({&quantisedPicture->image(), *quantisedPath});
    save(files);
    for (const auto &f : files)
        out << "Wrote " << f.path << "\n";
    out << "PSNR of the watermarked image against the cover: " << formatDb(psnr) << "\n";
    return kDone;
}

} // namespace ombrel::cli
