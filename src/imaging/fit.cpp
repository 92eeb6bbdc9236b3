// SPDX-License-Identifier: Apache-2.0
#include "imaging/fit.h"

#include <algorithm>
#include <cmath>

namespace ombrel {

namespace {

struct Tap {
    int source;
    double weight;
};

// For every output index along one axis, the source indices it draws on and
// their weights (summing to 1). source is the length of the axis, target the
// output length, scale the factor of both axes; the output covers the centre.
std::vector<std::vector<Tap>> taps(int source, int target, double scale) {
    const double offset = (source - target / scale) / 2;
    std::vector<std::vector<Tap>> all(target);
    for (int i = 0; i < target; ++i) {
        std::vector<Tap> &t = all[i];
        if (scale < 1) {
            const double lo = offset + i / scale;
            const double hi = offset + (i + 1) / scale;
            double sum = 0;
            for (int j = std::max(0, static_cast<int>(std::floor(lo)));
                 j < std::min(source, static_cast<int>(std::ceil(hi))); ++j) {
                const double w = std::min(hi, j + 1.0) - std::max(lo, static_cast<double>(j));
                if (w > 0) {
                    t.push_back({j, w});
                    sum += w;
                }
            }
            for (Tap &tap : t)
                tap.weight /= sum;
        } else {
            const double u = std::clamp(offset + (i + 0.5) / scale - 0.5, 0.0, source - 1.0);
            const int j = static_cast<int>(std::floor(u));
            const double f = u - j;
            t.push_back({j, 1 - f});
            if (f > 0)
                t.push_back({std::min(j + 1, source - 1), f});
        }
    }
    return all;
}

std::uint8_t level(double v) {
    return static_cast<std::uint8_t>(std::clamp(std::nearbyint(v), 0.0, 255.0));
}

} // namespace

Image fitPicture(const Image &picture, int width, int height) {
    if (picture.empty() || width <= 0 || height <= 0)
        return {};
    const double scale = std::max(static_cast<double>(width) / picture.width,
                                  static_cast<double>(height) / picture.height);
    const auto columns = taps(picture.width, width, scale);
    const auto rows = taps(picture.height, height, scale);

    Image out(width, height);
    std::vector<double> row(static_cast<std::size_t>(picture.width) * 3);
    for (int y = 0; y < height; ++y) {
        // Rows first into one line of channel sums, then along it.
        std::fill(row.begin(), row.end(), 0.0);
        for (const Tap &r : rows[y]) {
            const ColourWord *src = picture.row(r.source);
            for (int x = 0; x < picture.width; ++x) {
                const Channels c = split(src[x]);
                row[3 * x] += r.weight * c.red;
                row[3 * x + 1] += r.weight * c.green;
                row[3 * x + 2] += r.weight * c.blue;
            }
        }
        ColourWord *dst = out.row(y);
        for (int x = 0; x < width; ++x) {
            double red = 0, green = 0, blue = 0;
            for (const Tap &c : columns[x]) {
                red += c.weight * row[3 * c.source];
                green += c.weight * row[3 * c.source + 1];
                blue += c.weight * row[3 * c.source + 2];
            }
            dst[x] = rgb(level(red), level(green), level(blue));
        }
    }
    return out;
}

Image fitCover(const Image &picture) { return fitPicture(picture, 1024, 768); }

Image fitWatermark(const Image &picture) {
    Image grey = fitPicture(picture, 512, 512);
    for (ColourWord &w : grey.pixels) {
        const Channels c = split(w);
        w = level(0.299 * c.red + 0.587 * c.green + 0.114 * c.blue) * 0x010101;
    }
    return grey;
}

} // namespace ombrel
