// SPDX-License-Identifier: Apache-2.0
#include "cli/commands.h"

#include "imaging/quality.h"

#include <iomanip>

namespace ombrel::cli {

const char kCompareHelp[] =
    "Usage: ombrel compare A B\n"
    "Prints PSNR (dB), MSE, normalised correlation and SSIM of the grey values of two\n"
    "images of the same size.\n";

int compareCommand(const Parsed &p, std::ostream &out, std::ostream &) {
    expectPositional(p, 2, "compare needs A and B");
    const Image a = load(p.positional[0]);
    const Image b = load(p.positional[1]);
    const auto q = compareImages(a, b);
    if (!q)
        throw Refusal(qualityProblemText(q.error(), {a.width, a.height, p.positional[0]},
                                         {b.width, b.height, p.positional[1]}));
    printQuality(out, *q);
    if (const auto ssim = structuralSimilarity(a, b))
        out << "SSIM: " << std::fixed << std::setprecision(6) << *ssim << "\n";
    return kDone;
}

} // namespace ombrel::cli
