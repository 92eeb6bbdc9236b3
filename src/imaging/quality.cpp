#include "imaging/quality.h"

#include <cmath>
#include <limits>

namespace ombrel {

namespace {

double grey(ColourWord c) {
    const Channels ch = split(c);
    return 0.299 * ch.red + 0.587 * ch.green + 0.114 * ch.blue;
}

} // namespace

void addSquaredGreyErrors(const ColourWord *a, const ColourWord *b, int count, double &sum) {
    for (int i = 0; i < count; ++i)
        if (a[i] != b[i]) {
            const double d = grey(a[i]) - grey(b[i]);
            sum += d * d;
        }
}

double psnrOf(double mse) {
    return mse == 0 ? std::numeric_limits<double>::infinity() : 10.0 * std::log10(255.0 * 255.0 / mse);
}

std::optional<Quality> compareImages(const Image &a, const Image &b) {
    if (a.width != b.width || a.height != b.height || a.empty())
        return std::nullopt;
    double squared = 0, cross = 0, normA = 0, normB = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        const double ga = grey(a.pixels[i]);
        const double gb = grey(b.pixels[i]);
        squared += (ga - gb) * (ga - gb);
        cross += ga * gb;
        normA += ga * ga;
        normB += gb * gb;
    }
    Quality q;
    q.mse = squared / static_cast<double>(a.pixels.size());
    q.psnr = psnrOf(q.mse);
    q.nc = (normA == 0 || normB == 0) ? (normA == normB ? 1.0 : 0.0)
                                      : cross / std::sqrt(normA * normB);
    return q;
}

} // namespace ombrel
