// SPDX-License-Identifier: Apache-2.0
#include "cli/batch.h"
#include "cli/commands.h"
#include "cli/key_option.h"
#include "cli/options.h"
#include "cli/pictures.h"

#include "marking/check_report.h"

#include <optional>

namespace ombrel::cli {

const char kCheckHelp[] =
    "Usage: ombrel check PICTURE KEY [--id TEXT | --id-from-name] [--map MAP]\n"
    "                    [--csv FILE] [--quiet]\n"
    "       ombrel check PICTURE... KEY [--id TEXT | --id-from-name] [--map DIR]\n"
    "                    [--csv FILE] [-j N] [--file-list FILE] [--progress] [--quiet]\n"
    "Checks a picture sealed with ombrel seal: recomputes every unit's tag (8x8\n"
    "blocks, those at the right and bottom edges taking in a remainder under 8)\n"
    "and compares it with the bits the unit holds. Prints the units checked and\n"
    "altered and the box around the altered ones; the last line is \"intact\"\n"
    "(exit status 0) or \"altered\" (exit status 3). A change anywhere in a unit,\n"
    "to any bit of any sample, alpha too, shows in that unit.\n"
    "\n"
    "When every unit fails, as with another key or id, a crop, a resize, another\n"
    "canvas, a picture never sealed or one replaced whole, there is no area to\n"
    "show: the last line is then \"no unit matches: not sealed with this key, id\n"
    "and size, or replaced whole\" (exit status 3).\n"
    "\n"
    "With several pictures, a folder (standing for its pictures) or a --file-list,\n"
    "prints a line a picture: its name, the verdict, the units altered and the\n"
    "altered area. Exit status 0 when all are intact, 3 when any is altered, 1 when\n"
    "any could not be read (the others are still checked). Ctrl-C, SIGTERM or\n"
    "SIGHUP stop after the pictures under way (exit status 130, 143, 129).\n"
    "\n"
    "  --map MAP           write a tamper map: the picture at full size, dimmed\n"
    "                      grey, altered units in red; with several pictures a\n"
    "                      folder, a map each under the picture's own name (.png\n"
    "                      where that format holds no colour)\n"
    "  --csv FILE          a row a picture: image,verdict,units_checked,\n"
    "                      units_altered,box; the verdict is intact, altered or\n"
    "                      no match\n"
    "  -j, --jobs N        pictures checked at once (default: every core)\n"
    "  --file-list FILE    the pictures listed in FILE too, one path a line (- reads\n"
    "                      standard input; blank and # lines skipped)\n"
    "  --progress          a line of progress now and then when stderr is no terminal\n"
    "  --key-file KEY      the key the picture was sealed with\n"
    "  --passphrase        the key from a passphrase typed at the terminal\n"
    "  --passphrase-file F the key from the first line of F\n"
    "  --id TEXT           the id it was sealed with (default \"\")\n"
    "  --id-from-name      each picture's id is its file name without the extension\n"
    "  --quiet             print the verdict line alone (with several pictures, a\n"
    "                      line a picture: NAME: VERDICT); the exit status says the\n"
    "                      same\n"
    "KEY is one of --key-file KEY, --passphrase or --passphrase-file F, as for seal.\n";

namespace {

using marking::sealBoxText;
using marking::sealVerdict;

SealReport checkOne(const std::string &path, const KeyOption &key, const std::optional<std::string> &map) {
    SampledPicture picture = readSampled(path);
    const SealReport report = checkSeal(sealView(picture), *key.secret, imageId(key.ids, path));
    if (map)
        marking::saveSealMap(picture, report, *map);
    return report;
}

std::string csvRow(const std::string &image, const SealReport &r) {
    const bool none = r.noUnitMatches();
    return csvField(image) + "," + (none ? "no match" : sealVerdict(r)) + "," + std::to_string(r.unitsChecked) +
           "," + std::to_string(r.unitsAltered) + "," + (none ? "" : csvField(sealBoxText(r))) + "\n";
}

constexpr const char *kCsvHeader = "image,verdict,units_checked,units_altered,box\n";

int checkMany(const Parsed &p, const KeyOption &key, std::ostream &out, std::ostream &err) {
    const BatchOptions run = batchOptions(p);
    const std::vector<std::string> pictures = listPictures(p.positional);
    if (pictures.empty())
        throw Refusal("no picture to check");
    const auto mapFolder = option(p, options::kMap.name);
    const auto csv = option(p, options::kCsv.name);
    const bool quiet = option(p, options::kQuiet.name).has_value();
    std::vector<std::string> maps;
    if (mapFolder)
        maps = batchOutputs(*mapFolder, pictures, true);
    std::vector<std::optional<SealReport>> reports(pictures.size());
    StopSignals guard;
    if (mapFolder)
        makeFolder(*mapFolder);
    const BatchTotals totals = runBatch(pictures, run, 1, out, err, "", [&](std::size_t i, BatchItem &item) {
        SealReport report = checkOne(pictures[i], key, mapFolder ? std::optional(maps[i]) : std::nullopt);
        item.tick();
        std::string line = pictures[i] + ": " + sealVerdict(report);
        if (!quiet) {
            line += ", " + std::to_string(report.unitsAltered) + " of " + std::to_string(report.unitsChecked) +
                    " units altered";
            if (report.alteredBox && !report.noUnitMatches())
                line += ", altered area " + sealBoxText(report);
        }
        item.say(line);
        reports[i] = std::move(report);
    });
    bool altered = false;
    std::string table = kCsvHeader;
    for (std::size_t i = 0; i < pictures.size(); ++i)
        if (reports[i]) {
            altered = altered || !reports[i]->intact();
            table += csvRow(pictures[i], *reports[i]);
        }
    if (csv) {
        saveText(*csv, table);
        if (!quiet)
            out << "Wrote " << *csv << "\n";
    }
    const int status = batchStatus(totals, pictures.size(), "pictures checked", err);
    return status == kDone && altered ? kAltered : status;
}

} // namespace

bool checkIsBatch(const Parsed &p) {
    std::error_code ec;
    return p.positional.size() > 1 || option(p, options::kFileList.name) ||
           (p.positional.size() == 1 && std::filesystem::is_directory(p.positional[0], ec));
}

int checkCommand(const Parsed &p, std::ostream &out, std::ostream &err) {
    if (p.positional.empty())
        throw UsageError("check needs PICTURE");
    const KeyOption key = keyOption(p);
    sealSecret(key, "check");
    if (checkIsBatch(p))
        return checkMany(p, key, out, err);
    const std::string &path = p.positional[0];
    const auto map = option(p, options::kMap.name);
    const SealReport report = checkOne(path, key, map);
    const bool quiet = option(p, options::kQuiet.name).has_value();
    if (map && !quiet)
        out << "Wrote " << *map << "\n";
    if (const auto csv = option(p, options::kCsv.name)) {
        saveText(*csv, kCsvHeader + csvRow(path, report));
        if (!quiet)
            out << "Wrote " << *csv << "\n";
    }
    const int status = report.intact() ? kDone : kAltered;
    if (quiet) {
        out << sealVerdict(report) << "\n";
        return status;
    }
    const SealUnits &u = report.units;
    out << "Units: " << u.count() << " (" << u.across << " across, " << u.down << " down)\n"
        << "Altered units: " << report.unitsAltered << " of " << report.unitsChecked << " checked\n";
    if (report.alteredBox && !report.noUnitMatches())
        out << "Altered area: " << sealBoxText(report) << "\n";
    out << sealVerdict(report) << "\n";
    return status;
}

} // namespace ombrel::cli
