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

void saveMap(const Surface &image, const MarkReport &report, const std::string &path) {
    const Image picture = tamperMap(image.image(), report);
    save({{&picture, path}});
}

std::string boxText(const MarkReport &report) {
    const auto &box = report.alteredBox;
    if (!box)
        return "";
    std::ostringstream s;
    s << "x " << box->left << ".." << box->right << ", y " << box->top << ".." << box->bottom;
    return s.str();
}

bool noMatch(const MarkReport &report, bool keyed) { return keyed && report.noBlockMatches(); }

std::string verdict(const MarkReport &report, bool keyed) {
    if (noMatch(report, keyed))
        return "no block matches: not sealed with this key and id, or replaced whole";
    return report.intact() ? "intact" : "altered";
}

} // namespace ombrel::marking
