#include "cli/commands.h"
#include "cli/key_option.h"

#include "stego/embedding.h"

#include <optional>

namespace ombrel::cli {

const char kEmbedHelp[] =
    "Usage: ombrel embed COVER WATERMARK [-t N] [--fit] -o OUT [--wavelet-picture FILE]\n"
    "                    [--quantised-picture FILE] [--key-file KEY [--id TEXT]]\n"
    "Hides the watermark (512x512, grey) in the cover (1024x768) and writes the\n"
    "watermarked image to OUT; prints its PSNR against the cover.\n"
    "\n"
    "  -t, --threshold N          coefficients below N are dropped (-255..255, default 0)\n"
    "  --fit                      take a cover and a watermark of any size: scale each,\n"
    "                             keeping its shape, to cover 1024x768 (512x512), cut out\n"
    "                             the centre, and turn the watermark grey (BT.601)\n"
    "  -o, --output OUT           the watermarked image: .bmp (also without extension),\n"
    "                             .png, .tif, .tiff, .ppm; lossy formats are refused\n"
    "  --wavelet-picture FILE     picture of the coefficients after thresholding\n"
    "  --quantised-picture FILE   picture of the coefficients after quantisation\n"
    "  --key-file KEY             a keyed mark, bound to the key in KEY (ombrel keygen)\n"
    "                             and to each 8x8 block's content: verify with the key\n"
    "                             then finds any change to the image\n"
    "  --id TEXT                  the image's own name in the keyed mark (default \"\"):\n"
    "                             give every image its own, or a region pasted from\n"
    "                             another image marked with the key goes unseen\n";

int embedCommand(const Parsed &p, std::ostream &out, std::ostream &) {
    expectPositional(p, 2, "embed needs COVER and WATERMARK");
    const auto output = required(p, options::kOutput.name, "embed needs -o OUT");
    const int threshold = thresholdOption(p);
    const Fit fit = fitOption(p);
    const auto waveletPath = option(p, options::kWaveletPicture.name);
    const auto quantisedPath = option(p, options::kQuantisedPicture.name);
    const std::optional<Keystream> key = keystreamOption(p);

    Surface cover = coverSurface(p.positional[0], fit);
    std::optional<Surface> waveletPicture, quantisedPicture;
    double psnr = 0;
    {
        // The pipeline's matrices go before anything is encoded.
        EmbeddingPipeline pipeline;
        Progress progress;
        pipeline.readWatermark(watermarkSurface(p.positional[1], fit), progress);
        pipeline.transform(threshold, progress);
        // The coefficient pictures are drawn only when asked for.
        if (waveletPath)
            pipeline.drawCoefficients(waveletPicture.emplace(makeWaveletSurface()), nullptr);
        pipeline.quantise();
        if (quantisedPath)
            pipeline.drawCoefficients(quantisedPicture.emplace(makeWaveletSurface()), nullptr);
        // In place, the PSNR summed as the pixels change.
        pipeline.embedInPlace(cover, progress, &psnr, keyed(key));
    }

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
