#include "cli/cli.h"

#include "cli/commands.h"
#include "text/texts.h"

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
    "embed, extract and verify also take many files in one call: see their --help.\n"
    "\n"
    "Options:\n"
    "  -h, --help      show this help, or a command's help after the command\n"
    "  --version       show the version\n"
    "\n"
    "Exit status: 0 done (verify: intact), 1 input refused or work failed, 2 usage error,\n"
    "3 verify found the image altered; 130, 143 or 129 a run over many files stopped by\n"
    "Ctrl-C, SIGTERM or SIGHUP.\n";

// An option naming a picture to write, and whether that picture has colour;
// in a command's form over many files it names a folder instead.
struct PictureOption {
    std::string_view name;
    bool colour;
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
    if (command.batch && command.batch(parsed))
        return;
    for (const PictureOption &picture : command.pictures) {
        const auto path = option(parsed, picture.name);
        if (!path)
            continue;
        if (const auto format = formatForName(*path, picture.colour); !format)
            throw UsageError(format.error().message());
    }
}

const std::map<std::string, CommandEntry, std::less<>> &commands() {
    using namespace options;
    static const std::map<std::string, CommandEntry, std::less<>> table = {
        {"embed",
         {embedCommand,
          kEmbedHelp,
          {kThreshold, kOutput, kFit, kWaveletPicture, kQuantisedPicture, kWatermark, kJobs, kKeyFile, kId},
          {{kOutput.name, true}, {kWaveletPicture.name, false}, {kQuantisedPicture.name, false}},
          embedIsBatch}},
        {"extract",
         {extractCommand, kExtractHelp, {kOutput, kJobs, kKeyFile, kId}, {{kOutput.name, false}}, extractIsBatch}},
        {"compare", {compareCommand, kCompareHelp, {}}},
        {"demo", {demoCommand, kDemoHelp, {}}},
        {"verify",
         {verifyCommand, kVerifyHelp, {kWatermark, kThreshold, kMap, kCsv, kJobs, kKeyFile, kId, kQuiet},
          {{kMap.name, true}},
          verifyIsBatch}},
        {"attack",
         {attackCommand, kAttackHelp, {kWatermark, kThreshold, kCsv, kChart, kKeep, kKeyFile, kId}}},
        {"evaluate",
         {evaluateCommand, kEvaluateHelp,
          {kWatermark, kThreshold, kOutput, kFit, kJobs, kShard, kResume, kOverwrite, kKeyFile, kId}}},
        {"keygen", {keygenCommand, kKeygenHelp, {}}},
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
    const auto found = commands().find(first);
    if (found == commands().end()) {
        err << "ombrel: unknown command '" << first << "'\n" << kUsageText;
        return kUsage;
    }
    const CommandEntry &command = found->second;
    try {
        const Parsed parsed = parse(args, 1, command.options);
        if (parsed.help) {
            out << command.help;
            return kDone;
        }
        checkPictureNames(parsed, command);
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
