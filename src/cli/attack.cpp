// SPDX-License-Identifier: Apache-2.0
#include "cli/attacks.h"
#include "cli/chart.h"
#include "cli/commands.h"
#include "cli/key_option.h"

#include <filesystem>
#include <sstream>

namespace ombrel::cli {

const char kAttackHelp[] =
    "Usage: ombrel attack IMAGE [--watermark W [-t N]] [--csv FILE] [--chart PNG]\n"
    "                     [--keep DIR] [KEY] [--id TEXT | --id-from-name]\n"
    "Applies a fixed list of attacks to IMAGE and prints a Markdown table: the PSNR of\n"
    "each attacked image against IMAGE and, with --watermark, the NC of W against the\n"
    "watermark extracted from it and the share of carried bits that still agree (as\n"
    "verify counts them). Random attacks use fixed seeds, so every run is the same.\n"
    "\n"
    "  none            no change\n"
    "  jpeg-90/75/50   JPEG round trip through Qt's codec at that quality\n"
    "  noise-2, -5     Gaussian noise of that sigma on each channel, rounded, clamped\n"
    "  saltpepper-1    1 % of pixels set to black or white\n"
    "  cut-25          the top-left quarter set to black\n"
    "  rescale-50      scaled to half and back up, smooth filtering\n"
    "  rotate-1        rotated by 1 degree about the centre, black corners\n"
    "  brightness-10   +10 on every channel, clamped\n"
    "  median-3        3x3 median per channel\n"
    "  lsb-flip        the lowest bit of every channel of every pixel flipped\n"
    "  fill-zero       a tenth of the picture (320x246 at 600,300) set to black\n"
    "  fill-random     the same region filled with random pixels\n"
    "  copy-move       the same region copied from lower left (100,450)\n"
    "  text            a line of bold text drawn across the picture\n"
    "The four tampers are scored against the 8x8 blocks in which a pixel changed:\n"
    "tamper precision is the share of the blocks verify finds altered that did\n"
    "change, tamper recall the share of the changed blocks it finds.\n"
    "\n"
    "  --watermark W       the 512x512 grey watermark embedded in IMAGE\n"
    "  -t, --threshold N   the threshold it was embedded with (default 0)\n"
    "  --csv FILE          the same rows as CSV\n"
    "  --chart PNG         a bar chart of NC per attack (needs --watermark)\n"
    "  --keep DIR          save every attacked image as DIR/ATTACK.bmp, the JPEG ones\n"
    "                      as the JPEG files they decoded, DIR/jpeg-90.jpg and so on\n"
    "  --key-file KEY      IMAGE carries a keyed mark with the key in KEY (needs\n"
    "                      --watermark)\n"
    "  --passphrase        the key from a passphrase typed at the terminal\n"
    "  --passphrase-file F the key from the first line of F\n"
    "  --id TEXT           the id it was embedded with (default \"\")\n"
    "  --id-from-name      IMAGE's file name without the extension as its id\n"
    "KEY is one of --key-file KEY (read once; chmod 600), --passphrase (typed at the\n"
    "terminal) or --passphrase-file F (its first line; chmod 600), as for embed.\n";


int attackCommand(const Parsed &p, std::ostream &out, std::ostream &) {
    expectPositional(p, 1, "attack needs IMAGE");
    const auto watermarkPath = option(p, options::kWatermark.name);
    const auto chart = option(p, options::kChart.name);
    if (chart && !watermarkPath)
        throw UsageError("--chart needs --watermark");
    if (!watermarkPath)
        for (const OptionDef &source : {options::kKeyFile, options::kPassphrase, options::kPassphraseFile})
            if (option(p, source.name))
                throw UsageError(std::string(source.spelling) + " needs --watermark");
    const KeyOption keyGiven = keyOption(p);
    const std::optional<Keystream> key = keyGiven.keystreamFor(p.positional[0]);
    // A chart that cannot be drawn is said before any attack runs or any file is written.
    if (chart)
        if (const auto problem = chartProblem())
            throw Refusal(*chart + ": " + chartErrorText(*problem));
    const int threshold = thresholdOption(p);
    const Image image = watermarkPath ? coverSurface(p.positional[0]).image() : load(p.positional[0]);

    std::optional<Surface> watermark;
    std::optional<MarkBits> bits;
    std::optional<MarkToCheck> mark;
    if (watermarkPath) {
        watermark = watermarkSurface(*watermarkPath);
        bits.emplace(*watermark, threshold);
        mark.emplace(MarkToCheck{watermark->image(), *bits, keyed(key)});
    }
    const auto keepDir = option(p, options::kKeep.name);
    std::vector<Image> kept;
    std::vector<std::string> keptNames;
    std::vector<std::pair<std::string, std::string>> keptJpegs; // path, bytes
    std::function<void(const Attack &, Image &&)> keep;
    // The JPEG attacks are kept as the very JPEG files they decoded: the one
    // place this tool writes a lossy format.
    if (keepDir)
        keep = [&](const Attack &a, Image &&attacked) {
            const std::string base = (std::filesystem::path(*keepDir) / a.name).string();
            if (a.jpegQuality) {
                keptJpegs.emplace_back(base + ".jpg", jpegFile(image, a.jpegQuality));
                return;
            }
            kept.push_back(std::move(attacked));
            keptNames.push_back(base + ".bmp");
        };
    const std::vector<AttackScore> scores = scoreAttacks(image, mark, keep);

    std::ostringstream table, csv;
    table << "| attack | PSNR (dB) | NC | bits agreeing | tamper precision | tamper recall |\n"
          << "|---|---:|---:|---:|---:|---:|\n";
    csv << "attack,psnr_db,nc,bits_agreeing,tamper_precision,tamper_recall\n";
    std::vector<std::string> names;
    ChartSeries ncs{"NC", {}, {}, {}};
    for (const AttackScore &s : scores) {
        table << "| " << s.attack << " | " << formatPsnr(s.psnr) << " | " << formatNc(s.nc)
              << " | " << formatShare(s.bitsAgreeing) << " | " << formatScore(s.tamperPrecision)
              << " | " << formatScore(s.tamperRecall) << " |\n";
        csv << s.attack << "," << formatPsnr(s.psnr) << "," << (s.nc ? formatNc(s.nc) : "")
            << "," << (s.bitsAgreeing ? formatNc(s.bitsAgreeing) : "") << ","
            << (s.tamperPrecision ? formatScore(s.tamperPrecision) : "") << ","
            << (s.tamperRecall ? formatScore(s.tamperRecall) : "") << "\n";
        names.emplace_back(s.attack);
        ncs.values.push_back(s.nc.value_or(0));
    }

    if (keepDir) {
        makeFolder(*keepDir);
        std::vector<PictureToWrite> files;
        for (std::size_t i = 0; i < kept.size(); ++i)
            files.push_back({&kept[i], keptNames[i]});
        save(files);
        for (const auto &[path, bytes] : keptJpegs)
            saveText(path, bytes);
    }
    if (const auto csvPath = option(p, options::kCsv.name))
        saveText(*csvPath, csv.str());
    if (chart) {
        if (const auto error =
                saveNcChart(*chart, "NC of the extracted watermark per attack", names, {ncs}))
            throw Refusal(*chart + ": " + chartErrorText(*error));
    }
    out << table.str();
    return kDone;
}

} // namespace ombrel::cli
