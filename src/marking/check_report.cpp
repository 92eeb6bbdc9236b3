// SPDX-License-Identifier: Apache-2.0
#include "marking/check_report.h"

#include "imaging/quality.h"
#include "marking/keying.h"
#include "marking/pictures.h"
#include "stego/extraction.h"

#include <sstream>

namespace ombrel::marking {

MarkReport checkMark(const MarkBits &bits, const Surface &plain, bool keyed) {
    return keyed ? verifyUnkeyed(plain.image(), bits) : verifyMark(plain.image(), bits);
}

PictureCheck checkPicture(const Surface &image, const Surface &watermark, int threshold, const Keystream *key) {
    const MarkBits bits(watermark, threshold);
    std::optional<Surface> plain;
    if (key)
        plain.emplace(unkeyed(image, *key));
    const Surface &checked = plain ? *plain : image;
    PictureCheck check{checkMark(bits, checked, key != nullptr), key != nullptr, 0};
    check.nc = compareImages(watermark.image(), extract(checked).image())->nc;
    return check;
}

namespace {

// The colours of verify's map: a grey of the picture's luma, dimmed, and
// red where the check failed.
ColourWord mapColour(int luma, bool altered) {
    const int dim = 64 + luma / 3;
    return altered ? rgb(200 + luma / 5, dim / 4, dim / 4) : rgb(dim, dim, dim);
}

std::string boxWords(int left, int right, int top, int bottom) {
    std::ostringstream s;
    s << "x " << left << ".." << right << ", y " << top << ".." << bottom;
    return s.str();
}

} // namespace

Image sealMap(const SampledPicture &picture, const SealReport &report) {
    Image map(picture.width, picture.height);
    const int shift = picture.bitDepth == 16 ? 8 : 0;
    const SealUnits &u = report.units;
    for (int uy = 0; uy < u.down; ++uy)
        for (int ux = 0; ux < u.across; ++ux) {
            const bool altered = report.unitAltered(ux, uy);
            for (int y = u.top(uy); y < u.top(uy) + u.unitHeight(uy); ++y)
                for (int x = u.left(ux); x < u.left(ux) + u.unitWidth(ux); ++x) {
                    const std::size_t i = (static_cast<std::size_t>(y) * picture.width + x) * picture.channels;
                    int luma;
                    if (picture.channels >= 3)
                        luma = (299 * static_cast<int>(picture.at(i) >> shift) +
                                587 * static_cast<int>(picture.at(i + 1) >> shift) +
                                114 * static_cast<int>(picture.at(i + 2) >> shift)) / 1000;
                    else
                        luma = static_cast<int>(picture.at(i) >> shift);
                    map.at(x, y) = mapColour(luma, altered);
                }
        }
    return map;
}

void saveSealMap(const SampledPicture &picture, const SealReport &report, const std::string &path) {
    const Image map = sealMap(picture, report);
    save({{&map, path}});
}

std::string sealBoxText(const SealReport &report) {
    const auto &box = report.alteredBox;
    return box ? boxWords(box->left, box->right, box->top, box->bottom) : "";
}

std::string sealVerdict(const SealReport &report) {
    if (report.noUnitMatches())
        return "no unit matches: not sealed with this key, id and size, or replaced whole";
    return report.intact() ? "intact" : "altered";
}

void saveMap(const Surface &image, const MarkReport &report, const std::string &path) {
    const Image picture = tamperMap(image.image(), report);
    save({{&picture, path}});
}

std::string boxText(const MarkReport &report) {
    const auto &box = report.alteredBox;
    return box ? boxWords(box->left, box->right, box->top, box->bottom) : "";
}

bool noMatch(const MarkReport &report, bool keyed) { return keyed && report.noBlockMatches(); }

std::string verdict(const MarkReport &report, bool keyed) {
    if (noMatch(report, keyed))
        return "no block matches: not sealed with this key and id, or replaced whole";
    return report.intact() ? "intact" : "altered";
}

} // namespace ombrel::marking
