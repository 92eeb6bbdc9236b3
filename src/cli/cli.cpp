// SPDX-License-Identifier: Apache-2.0
#include "cli/cli.h"

#include "cli/batch.h"
#include "cli/commands.h"
#include "text/texts.h"

#include <algorithm>
#include <map>
#include <ostream>

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
    "  keygen FILE                    write a new key for keyed marks (--key-file FILE)\n"
    "  seal PICTURE -o OUT            seal a picture of any size as it is (--key-file KEY)\n"
    "  check PICTURE                  is a sealed picture unchanged? where not? (--key-file KEY)\n"
    "embed, extract, verify, seal and check also take many files in one call: see their\n"
    "--help.\n"
    "\n"
    "Options:\n"
    "  -h, --help      show this help, or a command's help after the command\n"
    "  --version       show the version\n"
    "\n"
    "Exit status: 0 done (verify: intact), 1 input refused or work failed, 2 usage error,\n"
    "3 verify or check found the image altered; 130, 143 or 129 a run over many files\n"
    "stopped by Ctrl-C, SIGTERM or SIGHUP.\n";

// An option naming a picture to write, and whether that picture has colour;
// in a command's form over many files it names a folder instead.
struct PictureOption {
    std::string_view name;
    bool colour;
    bool folder = false; // names the folder in the form over many files
};

struct CommandEntry {
    Command run;
    const char *help;
    std::vector<OptionDef> options;
    std::vector<PictureOption> pictures = {};
    bool (*batch)(const Parsed &) = nullptr; // whether the line asks for many files
};

// Output names that ask for a lossy or unknown format are refused before
// anything is read or written.
void checkPictureNames(const Parsed &parsed, const CommandEntry &command) {
    if (command.batch && command.batch(parsed)) {
        for (const PictureOption &picture : command.pictures)
            if (const auto folder = option(parsed, picture.name); folder && picture.folder) {
                const auto def = std::find_if(command.options.begin(), command.options.end(),
                                              [&](const OptionDef &d) { return d.name == picture.name; });
                checkOutputFolder(*folder, def->letter.empty() ? def->spelling : def->letter);
            }
        return;
    }
    for (const PictureOption &picture : command.pictures) {
        const auto path = option(parsed, picture.name);
        if (!path)
            continue;
        if (const auto format = formatForName(*path, picture.colour); !format)
            throw UsageError(format.error().message());
    }
}

// The options of a command that takes a keyed mark's key and id.
std::vector<OptionDef> withKey(std::vector<OptionDef> known) {
    using namespace options;
    known.insert(known.end(), {kKeyFile, kPassphrase, kPassphraseFile, kId, kIdFromName});
    return known;
}

const std::map<std::string, CommandEntry, std::less<>> &commands() {
    using namespace options;
    static const std::map<std::string, CommandEntry, std::less<>> table = {
        {"embed",
         {embedCommand,
          kEmbedHelp,
          withKey({kThreshold, kOutput, kFit, kWaveletPicture, kQuantisedPicture, kWatermark, kJobs, kFileList,
                   kProgress}),
          {{kOutput.name, true, true}, {kWaveletPicture.name, false}, {kQuantisedPicture.name, false}},
          embedIsBatch}},
        {"extract",
         {extractCommand, kExtractHelp, withKey({kOutput, kJobs, kFileList, kProgress}),
          {{kOutput.name, false, true}}, extractIsBatch}},
        {"compare", {compareCommand, kCompareHelp, {}}},
        {"demo", {demoCommand, kDemoHelp, {}}},
        {"verify",
         {verifyCommand, kVerifyHelp,
          withKey({kWatermark, kThreshold, kMap, kCsv, kJobs, kQuiet, kFileList, kProgress}),
          {{kMap.name, true, true}},
          verifyIsBatch}},
        {"attack",
         {attackCommand, kAttackHelp, withKey({kWatermark, kThreshold, kCsv, kChart, kKeep})}},
        {"evaluate",
         {evaluateCommand, kEvaluateHelp,
          withKey({kWatermark, kThreshold, kOutput, kFit, kJobs, kShard, kResume, kOverwrite, kFileList,
                   kProgress, kJoin})}},
        {"keygen", {keygenCommand, kKeygenHelp, {}}},
        {"seal",
         {sealCommand, kSealHelp, withKey({kOutput, kJobs, kFileList, kProgress}), {{kOutput.name, false, true}},
          sealIsBatch}},
        {"check",
         {checkCommand, kCheckHelp, withKey({kMap, kCsv, kJobs, kQuiet, kFileList, kProgress}),
          {{kMap.name, true, true}}, checkIsBatch}},
    };
    return table;
}

// The command's options, and its output names unless help was asked for;
// with readLists, the paths of a --file-list join the positional ones.
Parsed parseFor(const CommandEntry &command, const std::vector<std::string> &args, bool readLists) {
    Parsed parsed = parse(args, 1, command.options);
    if (parsed.help)
        return parsed;
    if (const auto list = option(parsed, options::kFileList.name); list && readLists) {
        const std::vector<std::string> listed = listedFiles(*list);
        parsed.positional.insert(parsed.positional.end(), listed.begin(), listed.end());
    }
    checkPictureNames(parsed, command);
    return parsed;
}

} // namespace

Parsed parseCommandLine(const std::vector<std::string> &args) {
    const auto found = args.empty() ? commands().end() : commands().find(args[0]);
    if (found == commands().end())
        throw UsageError("unknown command");
    return parseFor(found->second, args, false);
}

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
    const auto found = commands().find(first);
    if (found == commands().end()) {
        err << "ombrel: unknown command '" << first << "'\n" << kUsageText;
        return kUsage;
    }
    const CommandEntry &command = found->second;
    try {
        const Parsed parsed = parseFor(command, args, true);
        if (parsed.help) {
            out << command.help;
            return kDone;
        }
        return command.run(parsed, out, err);
    } catch (const UsageError &e) {
        err << "ombrel " << first << ": " << e.what() << "\n" << command.help;
        return kUsage;
    } catch (const Refusal &r) {
        err << r.what() << "\n";
        return kRefused;
    }
}

} // namespace ombrel::cli
