// SPDX-License-Identifier: Apache-2.0
#include "cli/batch.h"
#include "cli/commands.h"
#include "cli/key_option.h"

#include "imaging/quality.h"
#include "stego/extraction.h"
#include "stego/verify.h"

#include <iomanip>
#include <optional>
#include <sstream>

namespace ombrel::cli {

const char kVerifyHelp[] =
    "Usage: ombrel verify IMAGE --watermark W [-t N] [--map MAP] [--csv FILE]\n"
    "                     [KEY] [--id TEXT | --id-from-name] [--quiet]\n"
    "       ombrel verify IMAGE... --watermark W [-t N] [--map DIR] [--csv FILE] [-j N]\n"
    "                     [--file-list FILE] [--progress]\n"
    "                     [KEY] [--id TEXT | --id-from-name] [--quiet]\n"
    "Checks whether IMAGE still carries the watermark W, embedded at threshold N,\n"
    "bit for bit: recomputes every bit that embedding W writes and compares it with\n"
    "the bit IMAGE holds there. Pixels that carry no bit are not checked. Prints the\n"
    "bits compared and differing, the pixels and 8x8 blocks that hold a differing bit,\n"
    "their bounding box, and the NC of W against the watermark extracted from IMAGE;\n"
    "the last line is \"intact\" (exit status 0) or \"altered\" (exit status 3).\n"
    "\n"
    "With a key, a top corner block (which carries no bit) is hashed with the\n"
    "nearest carrying block of its row, so when that block fails its whole span is\n"
    "marked, up to the image's edge: a change somewhere in this span. When every\n"
    "checked block fails, as with another key or id, a picture never marked with\n"
    "them or one replaced whole, there is no area to show: the last line is then\n"
    "\"no block matches: not sealed with this key and id, or replaced whole\" (exit\n"
    "status 3), with no altered area.\n"
    "\n"
    "A wrong watermark or threshold changes only some carried bits: expect a few\n"
    "percent differing, not a half. A threshold that only drops coefficients which\n"
    "are written as 0 anyway (for instance 16 instead of 0) writes the same bits, and the\n"
    "image is rightly reported intact for it.\n"
    "\n"
    "With several images, a folder (standing for its pictures) or a --file-list,\n"
    "prints a line an image: its name, the verdict, the bits differing and the\n"
    "altered area. Exit status 0 when all are intact, 3 when any is altered, 1 when\n"
    "any could not be read (the others are still checked). Ctrl-C, SIGTERM or SIGHUP stop after the\n"
    "images under way (exit status 130, 143, 129).\n"
    "\n"
    "  --watermark W       the 512x512 grey watermark that was embedded\n"
    "  -t, --threshold N   the threshold it was embedded with (default 0)\n"
    "  --map MAP           write a tamper map: a dimmed grey copy of IMAGE, altered\n"
    "                      8x8 blocks (with a key, their spans) in red, pixels that\n"
    "                      carry no bit in dark blue;\n"
    "                      with several images a folder, a map each under the\n"
    "                      image's own name (.png for a lossy one)\n"
    "  --csv FILE          a row an image: image,verdict,bits_compared,\n"
    "                      bits_differing,blocks_altered,box; the verdict is intact,\n"
    "                      altered or (keyed) no match\n"
    "  -j, --jobs N        images checked at once (default: every core)\n"    "  --file-list FILE    the images listed in FILE too, one path a line (- reads\n"
    "                      standard input; blank and # lines skipped)\n"
    "  --progress          a line of progress now and then when stderr is no terminal\n"
    "  --key-file KEY      the mark is keyed: the key it was embedded with. Any change\n"
    "                      to a block's pixels then shows in that block, and another\n"
    "                      key or id finds the image altered nearly everywhere\n"
    "  --passphrase        the key from a passphrase typed at the terminal\n"
    "  --passphrase-file F the key from the first line of F\n"
    "  --id TEXT           the id it was embedded with (default \"\")\n"
    "  --id-from-name      each image's id is its file name without the extension\n"
    "  --quiet             print the verdict line alone (with several images, a\n"
    "                      line an image: NAME: VERDICT); the exit status says the\n"
    "                      same\n"
    "KEY is one of --key-file KEY (read once; chmod 600), --passphrase (typed at the\n"
    "terminal) or --passphrase-file F (its first line; chmod 600), as for embed.\n";


namespace {

// What the command line asks of every image.
struct VerifySettings {
    std::string watermarkPath;
    int threshold;
    KeyOption key;
};

VerifySettings verifySettings(const Parsed &p) {
    std::string watermarkPath = required(p, options::kWatermark.name, "verify needs --watermark W");
    return {std::move(watermarkPath), thresholdOption(p), keyOption(p)};
}

// One image's check against the bits the mark writes (plain: the image with
// any keystream taken off, when keyed), and its tamper map when map is set.
MarkReport checkOne(const MarkBits &bits, const Surface &image, const Surface &plain, bool keyed,
                    const std::optional<std::string> &map) {
    MarkReport report = keyed ? verifyUnkeyed(plain.image(), bits) : verifyMark(plain.image(), bits);
    if (map) {
        const Image picture = tamperMap(image.image(), report);
        save({{&picture, *map}});
    }
    return report;
}

std::string boxText(const MarkReport &report) {
    const auto &box = report.alteredBox;
    if (!box)
        return "";
    std::ostringstream s;
    s << "x " << box->left << ".." << box->right << ", y " << box->top << ".." << box->bottom;
    return s.str();
}

// A keyless check keeps its two words: without a key an unmarked picture is
// simply altered everywhere.
bool noMatch(const MarkReport &report, bool keyed) { return keyed && report.noBlockMatches(); }

std::string verdict(const MarkReport &report, bool keyed) {
    if (noMatch(report, keyed))
        return "no block matches: not sealed with this key and id, or replaced whole";
    return report.intact() ? "intact" : "altered";
}

std::string csvRow(const std::string &image, const MarkReport &r, bool keyed) {
    const bool none = noMatch(r, keyed);
    return csvField(image) + "," + (none ? "no match" : verdict(r, keyed)) + "," +
           std::to_string(r.bitsCompared) + "," + std::to_string(r.bitsDiffering) + "," +
           std::to_string(r.blocksAltered) + "," + (none ? "" : csvField(boxText(r))) + "\n";
}

constexpr const char *kCsvHeader = "image,verdict,bits_compared,bits_differing,blocks_altered,box\n";

int verifyMany(const Parsed &p, std::ostream &out, std::ostream &err) {
    const VerifySettings settings = verifySettings(p);
    const BatchOptions run = batchOptions(p);
    const Surface watermark = watermarkSurface(settings.watermarkPath);
    const std::vector<std::string> images = listPictures(p.positional);
    if (images.empty())
        throw Refusal("no image to verify");
    const auto mapFolder = option(p, options::kMap.name);
    const auto csv = option(p, options::kCsv.name);
    const bool quiet = option(p, options::kQuiet.name).has_value();
    std::vector<std::string> maps;
    if (mapFolder)
        maps = batchOutputs(*mapFolder, images, true);

    const MarkBits bits(watermark, settings.threshold);
    std::vector<std::optional<MarkReport>> reports(images.size());
    std::vector<char> keyed(images.size(), 0);
    StopSignals guard;
    if (mapFolder)
        makeFolder(*mapFolder);
    const BatchTotals totals = runBatch(images, run, 1, out, err, "", [&](std::size_t i, BatchItem &item) {
        const Surface image = coverSurface(images[i]);
        std::optional<Surface> plain;
        if (const auto key = settings.key.keystreamFor(images[i]))
            plain.emplace(unkeyed(image, *key));
        const MarkReport report = checkOne(bits, image, plain ? *plain : image, plain.has_value(),
                                           mapFolder ? std::optional(maps[i]) : std::nullopt);
        item.tick();
        std::string line = images[i] + ": " + verdict(report, plain.has_value());
        if (!quiet) {
            line += ", " + std::to_string(report.bitsDiffering) + " of " + std::to_string(report.bitsCompared) +
                    " bits differing";
            if (report.alteredBox && !noMatch(report, plain.has_value()))
                line += ", altered area " + boxText(report);
        }
        item.say(line);
        reports[i] = report;
        keyed[i] = plain.has_value();
    });
    bool altered = false;
    std::string table = kCsvHeader;
    for (std::size_t i = 0; i < images.size(); ++i)
        if (reports[i]) {
            altered = altered || !reports[i]->intact();
            table += csvRow(images[i], *reports[i], keyed[i] != 0);
        }
    if (csv) {
        saveText(*csv, table);
        if (!quiet)
            out << "Wrote " << *csv << "\n";
    }
    const int status = batchStatus(totals, images.size(), "images checked", err);
    return status == kDone && altered ? kAltered : status;
}

} // namespace

bool verifyIsBatch(const Parsed &p) {
    std::error_code ec;
    return p.positional.size() > 1 || option(p, options::kFileList.name) ||
           (p.positional.size() == 1 && std::filesystem::is_directory(p.positional[0], ec));
}

int verifyCommand(const Parsed &p, std::ostream &out, std::ostream &err) {
    if (verifyIsBatch(p))
        return verifyMany(p, out, err);
    expectPositional(p, 1, "verify needs IMAGE");
    const VerifySettings settings = verifySettings(p);
    const std::optional<Keystream> key = settings.key.keystreamFor(p.positional[0]);
    // A keyed image's hashes are taken while the watermark is read and its
    // bits worked out.
    HashedPicture read(keyed(key), [&] { return coverSurface(p.positional[0]); });
    const Surface &image = read.picture;
    const Surface watermark = watermarkSurface(settings.watermarkPath);
    const MarkBits bits(watermark, settings.threshold);
    const auto map = option(p, options::kMap.name);
    // The keystream comes off where the image lies, unless the map is to be
    // drawn over the image as it came.
    std::optional<Surface> unkeyedCopy;
    if (read.hashes() && map)
        unkeyedCopy.emplace(unkeyed(image, *read.hashes()));
    else if (read.hashes())
        read.hashes()->applyTo(read.picture.image());
    const Surface &plain = unkeyedCopy ? *unkeyedCopy : image;
    read.doneHashing();

    const bool isKeyed = key.has_value();
    const MarkReport report = checkOne(bits, image, plain, isKeyed, map);
    const bool quiet = option(p, options::kQuiet.name).has_value();
    if (map && !quiet)
        out << "Wrote " << *map << "\n";
    if (const auto csv = option(p, options::kCsv.name)) {
        saveText(*csv, kCsvHeader + csvRow(p.positional[0], report, isKeyed));
        if (!quiet)
            out << "Wrote " << *csv << "\n";
    }
    const bool ok = report.intact();
    if (quiet) {
        out << verdict(report, isKeyed) << "\n";
        return ok ? kDone : kAltered;
    }
    const double nc = compareImages(watermark.image(), extract(plain).image())->nc;

    out << "Bits compared: " << report.bitsCompared << "\n"
        << "Bits differing: " << report.bitsDiffering << " (" << std::fixed
        << std::setprecision(2) << 100.0 * report.differingShare() << " %)\n"
        << "Pixels with a differing bit: " << report.pixelsDiffering << "\n"
        << "Altered 8x8 blocks: " << report.blocksAltered << " of " << report.blocksChecked
        << " checked\n";
    if (report.alteredBox && !noMatch(report, isKeyed))
        out << "Altered area: " << boxText(report) << "\n";
    out << "NC of the extracted watermark: " << std::setprecision(6) << nc << "\n"
        << verdict(report, isKeyed) << "\n";
    return ok ? kDone : kAltered;
}

} // namespace ombrel::cli
