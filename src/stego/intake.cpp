// SPDX-License-Identifier: Apache-2.0
#include "stego/intake.h"

#include "imaging/row_loops.h"
#include "stego/layout.h"

#include <algorithm>
#include <cctype>

namespace ombrel {

Verdict checkCover(int width, int height) {
    return width == kCoverWidth && height == kCoverHeight ? Verdict::Suitable : Verdict::WrongSize;
}

namespace {

// Whether any of count words has channels that differ: red, green and blue
// agree exactly when the low 16 bits of w ^ (w >> 8) are 0. A whole row at
// once, without a branch, so it vectorises.
OMBREL_ROW_LOOPS bool anyColour(const ColourWord *words, int count) {
    ColourWord differs = 0;
    for (int i = 0; i < count; ++i)
        differs |= (words[i] ^ (words[i] >> 8)) & 0xffff;
    return differs != 0;
}

} // namespace

WatermarkCheck checkWatermark(int width, int height, const Surface &watermark) {
    WatermarkCheck check;
    if (width != kWatermarkSize || height != kWatermarkSize) {
        check.verdict = Verdict::WrongSize;
        return check;
    }
    const int lastX = std::min(kWatermarkSize, watermark.width() - 1);
    for (int y = 1; y <= kWatermarkSize; ++y) {
        if (y < watermark.height()) {
            const ColourWord *row = watermark.image().row(y);
            if (anyColour(row + 1, lastX)) {
                for (int x = 1; x <= lastX; ++x) {
                    if (!isGrey(row[x])) {
                        check.verdict = Verdict::NotGrey;
                        check.x = x;
                        check.y = y;
                        return check;
                    }
                }
            }
        }
        ++check.rowsScanned;
    }
    return check;
}

std::optional<int> parseThreshold(std::string_view reply) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!reply.empty() && blank(reply.front()))
        reply.remove_prefix(1);
    while (!reply.empty() && blank(reply.back()))
        reply.remove_suffix(1);

    bool negative = false;
    if (!reply.empty() && (reply.front() == '+' || reply.front() == '-')) {
        negative = reply.front() == '-';
        reply.remove_prefix(1);
        while (!reply.empty() && blank(reply.front()))
            reply.remove_prefix(1);
    }
    const auto point = reply.find('.');
    const std::string_view whole = reply.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : reply.substr(point + 1);
    auto digits = [](std::string_view s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (whole.empty() && fraction.empty())
        return std::nullopt;
    if (!digits(whole) || !digits(fraction))
        return std::nullopt;

    // Decided on the digits themselves, so 12.5 is an exact tie.
    long long value = 0;
    for (char c : whole) {
        value = value * 10 + (c - '0');
        if (value > 1'000'000)
            return std::nullopt;
    }
    if (!fraction.empty()) {
        const bool restNonZero =
            std::any_of(fraction.begin() + 1, fraction.end(), [](char c) { return c != '0'; });
        const int first = fraction.front() - '0';
        if (first > 5 || (first == 5 && (restNonZero || value % 2 == 1)))
            ++value;
    }
    if (negative)
        value = -value;
    if (value < -255 || value > 255)
        return std::nullopt;
    return static_cast<int>(value);
}

} // namespace ombrel
