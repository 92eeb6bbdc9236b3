#include "cli/commands.h"
#include "cli/key_option.h"

#include "imaging/quality.h"
#include "stego/extraction.h"
#include "stego/verify.h"

#include <iomanip>

namespace ombrel::cli {

const char kVerifyHelp[] =
    "Usage: ombrel verify IMAGE --watermark W [-t N] [--map MAP]\n"
    "                     [--key-file KEY [--id TEXT]]\n"
    "Checks whether IMAGE still carries the watermark W, embedded at threshold N,\n"
    "bit for bit: recomputes every bit that embedding W writes and compares it with\n"
    "the bit IMAGE holds there. Pixels that carry no bit are not checked. Prints the\n"
    "bits compared and differing, the pixels and 8x8 blocks that hold a differing bit,\n"
    "their bounding box, and the NC of W against the watermark extracted from IMAGE;\n"
    "the last line is \"intact\" (exit status 0) or \"altered\" (exit status 3).\n"
    "\n"
    "A wrong watermark or threshold changes only some carried bits: expect a few\n"
    "percent differing, not a half. A threshold that only drops coefficients which are\n"
    "written as 0 anyway (for instance 16 instead of 0) writes the same bits, and the\n"
    "image is rightly reported intact for it.\n"
    "\n"
    "  --watermark W       the 512x512 grey watermark that was embedded\n"
    "  -t, --threshold N   the threshold it was embedded with (default 0)\n"
    "  --map MAP           write a tamper map: a dimmed grey copy of IMAGE, altered\n"
    "                      8x8 blocks in red, pixels that carry no bit in dark blue\n"
    "  --key-file KEY      the mark is keyed: the key it was embedded with. Any change\n"
    "                      to a block's pixels then shows in that block, and another\n"
    "                      key or id finds the image altered nearly everywhere\n"
    "  --id TEXT           the id it was embedded with (default \"\")\n";

int verifyCommand(const Parsed &p, std::ostream &out, std::ostream &) {
    expectPositional(p, 1, "verify needs IMAGE");
    const std::string watermarkPath = required(p, options::kWatermark.name, "verify needs --watermark W");
    const int threshold = thresholdOption(p);
    const std::optional<Keystream> key = keystreamOption(p);
    const Surface image = coverSurface(p.positional[0]);
    const Surface watermark = watermarkSurface(watermarkPath);
    std::optional<Surface> unkeyedCopy;
    const Surface &plain = key ? unkeyedCopy.emplace(unkeyed(image, *key)) : image;

    const MarkReport report = verifyMark(plain.image(), MarkBits(watermark, threshold));
    if (const auto map = option(p, options::kMap.name)) {
        const Image picture = tamperMap(image.image(), report);
        save({{&picture, *map}});
        out << "Wrote " << *map << "\n";
    }
    const double nc = compareImages(watermark.image(), extract(plain).image())->nc;

    out << "Bits compared: " << report.bitsCompared << "\n"
        << "Bits differing: " << report.bitsDiffering << " (" << std::fixed
        << std::setprecision(2) << 100.0 * report.differingShare() << " %)\n"
        << "Pixels with a differing bit: " << report.pixelsDiffering << "\n"
        << "Altered 8x8 blocks: " << report.blocksAltered << " of " << report.blocksChecked
        << " checked\n";
    if (const auto &box = report.alteredBox)
        out << "Altered area: x " << box->left << ".." << box->right << ", y " << box->top
            << ".." << box->bottom << "\n";
    out << "NC of the extracted watermark: " << std::setprecision(6) << nc << "\n"
        << (report.intact() ? "intact" : "altered") << "\n";
    return report.intact() ? kDone : kAltered;
}

} // namespace ombrel::cli
