#include "cli/cli.h"

#include "cli/command.h"
#include "cli/commands.h"

#include "imaging/picture_in.h"
#include "imaging/picture_out.h"
#include "imaging/fit.h"
#include "imaging/quality.h"
#include "imaging/sample_images.h"
#include "stego/embedding.h"
#include "stego/extraction.h"
#include "stego/intake.h"
#include "text/texts.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>

namespace ombrel::cli {

namespace {

constexpr const char *kUsageText =
    "Usage: ombrel COMMAND [ARGUMENTS]\n"
    "Hides a 512x512 grey watermark in a 1024x768 colour picture, and extracts it again.\n"
    "Reads BMP, PNG, TIFF and PPM/PGM; writes the format an output's extension names.\n"
    "\n"
    "Commands:\n"
    "  embed COVER WATERMARK -o OUT   hide WATERMARK in COVER, write the watermarked image\n"
    "  extract IMAGE -o OUT           extract the watermark from a watermarked image\n"
    "  compare A B                    PSNR, MSE, normalised correlation and SSIM of two images\n"
    "  demo [DIR]                     run both on the sample images, into DIR\n"
    "  verify IMAGE --watermark W     does IMAGE still carry W unchanged? where not?\n"
    "  attack IMAGE [--watermark W]   what the mark survives: a table of attacks\n"
    "  evaluate COVER... -o DIR       mark, measure and attack many covers (--watermark W)\n"
    "\n"
    "Options:\n"
    "  -h, --help      show this help, or a command's help after the command\n"
    "  --version       show the version\n"
    "\n"
    "Exit status: 0 done (verify: intact), 1 input refused or work failed, 2 usage error,\n"
    "3 verify found the image altered.\n";

const std::map<std::string, std::string> kCommandHelp = {
    {"embed",
     "Usage: ombrel embed COVER WATERMARK [-t N] [--fit] -o OUT [--wavelet-picture FILE]\n"
     "                    [--quantised-picture FILE]\n"
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
     "  --quantised-picture FILE   picture of the coefficients after quantisation\n"},
    {"extract",
     "Usage: ombrel extract IMAGE -o OUT\n"
     "Extracts the 512x512 watermark from a watermarked 1024x768 image; needs nothing else.\n"
     "\n"
     "  -o, --output OUT   the extracted watermark: .bmp (also without extension), .png,\n"
     "                     .tif, .tiff, .ppm or .pgm\n"},
    {"compare",
     "Usage: ombrel compare A B\n"
     "Prints PSNR (dB), MSE, normalised correlation and SSIM of the grey values of two\n"
     "images of the same size.\n"},
    {"demo",
     "Usage: ombrel demo [DIR]\n"
     "Writes the sample cover and watermark into DIR (default ./ombrel-demo), embeds,\n"
     "extracts, and compares the extracted watermark with the original.\n"},
    {"verify", kVerifyHelp},
    {"attack", kAttackHelp},
    {"evaluate", kEvaluateHelp},
};

// The one option that takes no value.
const std::string kFitFlag = "fit";

// Positional arguments and option values; "--name=value" works for long options.
Parsed parse(const std::vector<std::string> &args, std::size_t from,
             const std::map<std::string, std::string> &aliases) {
    Parsed parsed;
    for (std::size_t i = from; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "-h" || a == "--help") {
            parsed.help = true;
            continue;
        }
        if (a.size() > 1 && a[0] == '-' && a != "-") {
            std::string name = a, value;
            bool inlineValue = false;
            if (const auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
                name = a.substr(0, eq);
                value = a.substr(eq + 1);
                inlineValue = true;
            }
            const auto known = aliases.find(name);
            if (known == aliases.end())
                throw UsageError{"unknown option " + name};
            if (known->second == kFitFlag) {
                if (inlineValue)
                    throw UsageError{"option " + name + " takes no value"};
                parsed.options[known->second].emplace_back();
                continue;
            }
            if (!inlineValue) {
                if (i + 1 >= args.size())
                    throw UsageError{"option " + name + " needs a value"};
                value = args[++i];
            }
            parsed.options[known->second].push_back(value);
        } else {
            parsed.positional.push_back(a);
        }
    }
    return parsed;
}

void printQuality(std::ostream &out, const Quality &q, const std::string &indent = "") {
    out << indent << "PSNR: " << formatDb(q.psnr) << "\n"
        << indent << "MSE: " << std::fixed << std::setprecision(4) << q.mse << "\n"
        << indent << "NC: " << std::fixed << std::setprecision(6) << q.nc << "\n";
}

} // namespace

std::optional<std::string> option(const Parsed &p, const std::string &name) {
    const auto it = p.options.find(name);
    if (it == p.options.end())
        return std::nullopt;
    return it->second.back();
}

std::string required(const Parsed &p, const std::string &name, const std::string &message) {
    auto value = option(p, name);
    if (!value)
        throw UsageError{message};
    return *value;
}

void expectPositional(const Parsed &p, std::size_t count, const std::string &message) {
    if (p.positional.size() != count)
        throw UsageError{message};
}

int thresholdOption(const Parsed &p) {
    const auto threshold = parseThreshold(option(p, "threshold").value_or("0"));
    if (!threshold)
        throw Refusal{std::string(text::kThresholdInvalid)};
    return *threshold;
}

std::string formatDb(double psnr) {
    if (std::isinf(psnr))
        return "inf dB (identical)";
    std::ostringstream s;
    s << std::fixed << std::setprecision(2) << psnr << " dB";
    return s.str();
}

Image load(const std::string &path) {
    LoadedPicture loaded = loadPicture(path);
    if (!loaded.ok())
        throw Refusal{loaded.error().message()};
    return std::move(*loaded);
}

void save(const std::vector<PictureToWrite> &files) {
    std::vector<PictureToWrite> named = files;
    for (PictureToWrite &f : named)
        f.format = formatForName(f.path).value_or(FileFormat::Bmp);
    // Renamed into place but not forced to disk, as batch tools do: a run of
    // many files would otherwise wait on the disk for each one.
    if (const auto saved = savePictures(named, Durability::Renamed); !saved)
        throw Refusal{saved.error().message()};
}

Fit fitOption(const Parsed &p) { return option(p, kFitFlag) ? Fit::On : Fit::Offered; }

namespace {

// The program's refusal, and where fitting would help, the way out.
Refusal sizeRefusal(const std::string &path, std::string_view words, Fit fit, const char *remedy) {
    std::string message = path + ": " + std::string(words);
    if (fit == Fit::Offered)
        message += std::string("; --fit ") + remedy;
    return Refusal{message};
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

void saveText(const std::string &path, const std::string &text) {
    const std::string temporary = path + ".part";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << text;
        file.flush();
        if (!file) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            throw Refusal{path + ": cannot write the file"};
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        throw Refusal{path + ": cannot write the file"};
    }
}

namespace {

int embedCommand(const Parsed &p, std::ostream &out, std::ostream &) {
    expectPositional(p, 2, "embed needs COVER and WATERMARK");
    const auto output = required(p, "output", "embed needs -o OUT");
    const int threshold = thresholdOption(p);
    const Fit fit = fitOption(p);

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
        if (option(p, "wavelet"))
            pipeline.drawCoefficients(waveletPicture.emplace(makeWaveletSurface()), nullptr);
        pipeline.quantise();
        if (option(p, "quantised"))
            pipeline.drawCoefficients(quantisedPicture.emplace(makeWaveletSurface()), nullptr);
        // In place, the PSNR summed as the pixels change.
        pipeline.embedInPlace(cover, progress, &psnr);
    }

    // The tool is done with the cover's pixels: the codec may take them as they lie.
    std::vector<PictureToWrite> files{{&cover.image(), output}};
    files.front().spent = &cover.image();
    if (auto f = option(p, "wavelet"))
        files.push_back({&waveletPicture->image(), *f});
    if (auto f = option(p, "quantised"))
        files.push_back({&quantisedPicture->image(), *f});
    save(files);
    for (const auto &f : files)
        out << "Wrote " << f.path << "\n";
    out << "PSNR of the watermarked image against the cover: " << formatDb(psnr) << "\n";
    return kDone;
}

int extractCommand(const Parsed &p, std::ostream &out, std::ostream &) {
    expectPositional(p, 1, "extract needs IMAGE");
    const auto output = required(p, "output", "extract needs -o OUT");
    std::optional<Surface> watermark;
    {
        ExtractionPipeline pipeline;
        Progress progress;
        // The image is not needed once its bits are gathered.
        pipeline.gather(coverSurface(p.positional[0]), progress);
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

int compareCommand(const Parsed &p, std::ostream &out, std::ostream &) {
    expectPositional(p, 2, "compare needs A and B");
    const Image a = load(p.positional[0]);
    const Image b = load(p.positional[1]);
    const auto q = compareImages(a, b);
    if (!q)
        throw Refusal{qualityProblemText(q.error(), {a.width, a.height, p.positional[0]},
                                         {b.width, b.height, p.positional[1]})};
    printQuality(out, *q);
    if (const auto ssim = structuralSimilarity(a, b))
        out << "SSIM: " << std::fixed << std::setprecision(6) << *ssim << "\n";
    return kDone;
}

int demoCommand(const Parsed &p, std::ostream &out, std::ostream &) {
    if (p.positional.size() > 1)
        throw UsageError{"demo takes at most one folder"};
    const std::filesystem::path dir = p.positional.empty() ? "ombrel-demo" : p.positional[0];
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec)
        throw Refusal{dir.string() + ": cannot create the folder: " + ec.message()};
    auto in = [&](const char *name) { return (dir / name).string(); };

    const Image coverImage = sampleCover();
    const Image watermarkImage = sampleWatermark();
    const EmbedResult embedded = embed(surfaceOf(coverImage), surfaceOf(watermarkImage), 0);
    const Surface extracted = extract(embedded.watermarked);
    const std::vector<PictureToWrite> files{
        {&coverImage, in("cover.bmp")},
        {&watermarkImage, in("watermark.bmp"), PictureKind::Grey8},
        {&embedded.watermarked.image(), in("output.bmp")},
        {&embedded.firstPicture.image(), in("wavlettransformresult.bmp")},
        {&embedded.secondPicture.image(), in("wavlettransformresultw2.bmp")},
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

// An option naming a picture to write, and whether that picture has colour.
struct PictureOption {
    std::string name;
    bool colour;
};

struct CommandEntry {
    Command run;
    std::map<std::string, std::string> options; // spelling -> option name
    std::vector<PictureOption> pictures = {};
};

// Output names that ask for a lossy or unknown format are refused before
// anything is read or written.
void checkPictureNames(const Parsed &parsed, const CommandEntry &command) {
    for (const PictureOption &picture : command.pictures) {
        const auto path = option(parsed, picture.name);
        if (!path)
            continue;
        if (const auto format = formatForName(*path, picture.colour); !format)
            throw UsageError{format.error().message()};
    }
}

const std::map<std::string, CommandEntry> &commands() {
    const std::pair<const std::string, std::string> threshold[] = {{"-t", "threshold"},
                                                                   {"--threshold", "threshold"}};
    const std::pair<const std::string, std::string> output[] = {{"-o", "output"},
                                                                {"--output", "output"}};
    const std::pair<const std::string, std::string> watermark{"--watermark", "watermark"};
    const std::pair<const std::string, std::string> fit{"--fit", kFitFlag};
    static const std::map<std::string, CommandEntry> table = {
        {"embed",
         {embedCommand,
          {threshold[0], threshold[1], output[0], output[1], fit,
           {"--wavelet-picture", "wavelet"},
           {"--quantised-picture", "quantised"}},
          {{"output", true}, {"wavelet", false}, {"quantised", false}}}},
        {"extract", {extractCommand, {output[0], output[1]}, {{"output", false}}}},
        {"compare", {compareCommand, {}}},
        {"demo", {demoCommand, {}}},
        {"verify", {verifyCommand, {watermark, threshold[0], threshold[1], {"--map", "map"}}, {{"map", true}}}},
        {"attack",
         {attackCommand,
          {watermark, threshold[0], threshold[1], {"--csv", "csv"}, {"--chart", "chart"},
           {"--keep", "keep"}}}},
        {"evaluate",
         {evaluateCommand,
          {watermark, threshold[0], threshold[1], output[0], output[1], fit, {"-j", "jobs"},
           {"--jobs", "jobs"}, {"--shard", "shard"}}}},
    };
    return table;
}

} // namespace

int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err) {
    if (args.empty()) {
        err << kUsageText;
        return kUsage;
    }
    const std::string &first = args[0];
    if (first == "-h" || first == "--help") {
        out << kUsageText;
        return kDone;
    }
    if (first == "--version") {
        out << "ombrel " << text::kVersion << "\n";
        return kDone;
    }
    const auto command = commands().find(first);
    if (command == commands().end()) {
        err << "ombrel: unknown command '" << first << "'\n" << kUsageText;
        return kUsage;
    }
    try {
        const Parsed parsed = parse(args, 1, command->second.options);
        if (parsed.help) {
            out << kCommandHelp.at(first);
            return kDone;
        }
        checkPictureNames(parsed, command->second);
        return command->second.run(parsed, out, err);
    } catch (const UsageError &e) {
        err << "ombrel " << first << ": " << e.message << "\n" << kCommandHelp.at(first);
        return kUsage;
    } catch (const Refusal &r) {
        err << r.message << "\n";
        return kRefused;
    }
}

} // namespace ombrel::cli
