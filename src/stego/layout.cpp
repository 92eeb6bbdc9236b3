#include "stego/layout.h"

#include "imaging/quality.h"

#include <algorithm>
#include <array>
#include <vector>

namespace ombrel {

namespace {

// The digit string of -1 (a read outside the picture) is that of 1: a negative
// word spells only its parity.
constexpr ColourWord asDigits(ColourWord w) { return w < 0 ? (w & 1) : w; }

constexpr ColourWord withLowPairs(ColourWord t, int blue, int green, int red) {
    return (asDigits(t) & ~0x030303) | (blue << 16) | (green << 8) | red;
}

constexpr int pair(int v, int lowBit) { return (v >> lowBit) & 3; }
constexpr int lowPair(ColourWord w, int shift) { return (asDigits(w) >> shift) & 3; }

// First pixel column of approximation group g (1..43) in cover row y.
constexpr int groupColumn(int y, int g) { return (y % 2 ? 101 : 103) + 20 * (g - 1); }

constexpr int rightColumn(int y, int x) {
    return y % 2 ? 2 * (x - kFirstDetail) + 1 : 2 * (x - kFirstDetail) + 256;
}
constexpr int lowerColumn(int x, int y) {
    return x % 2 ? 2 * (y - kBandSize) + 1 : 2 * (y - kBandSize) + 256;
}

// Writes one embedded pixel, adding its squared grey error when asked.
inline void put(ColourWord &pixel, ColourWord before, ColourWord after, double *errors) {
    pixel = after;
    if (errors && before != after)
        *errors += squaredGreyError(before, after);
}

inline void set(Surface &target, int x, int y, ColourWord before, ColourWord after, double *errors) {
    if (target.contains(x, y))
        put(target.image().at(x, y), before, after, errors);
}

} // namespace

const ColourWord *CoverRows::outsideRow() {
    static const auto row = [] {
        std::array<ColourWord, kCoverWidth + 1> r;
        r.fill(kOutside);
        return r;
    }();
    return row.data();
}

const ColourWord *carriedBitsRow(int y) {
    assert(y >= 0 && y < kCoverHeight);
    static const auto rows = [] {
        std::vector<ColourWord> m(static_cast<std::size_t>(kCoverWidth) * kCoverHeight, 0);
        const auto carry = [&m](int x, int y, ColourWord bits) {
            if (x < kCoverWidth && y < kCoverHeight)
                m[static_cast<std::size_t>(y) * kCoverWidth + x] = bits;
        };
        for (int y = 1; y <= kBandSize; ++y)
            for (int g = 1; g <= kApproximationGroups; ++g)
                for (int k = 0; k < 4; ++k)
                    carry(groupColumn(y, g) + 5 * k, y, 0x030303);
        for (int y = 1; y <= kWatermarkSize; ++y)
            for (int x = kFirstDetail; x <= kWatermarkSize; ++x)
                carry(rightColumn(y, x), y + kRightRowOffset, 0x010101);
        for (int x = 1; x <= kBandSize; ++x)
            for (int y = kFirstDetail; y <= kWatermarkSize; ++y)
                carry(lowerColumn(x, y), x + kLowerRowOffset, 0x010101);
        // Only a few rows differ (row 0, and odd and even rows of each stage):
        // kept once each, the masks stay in the cache beside the pixels.
        struct Rows {
            std::vector<std::vector<ColourWord>> patterns;
            std::vector<std::size_t> of;
        } r;
        for (int y = 0; y < kCoverHeight; ++y) {
            const std::vector<ColourWord> row(m.begin() + std::ptrdiff_t{y} * kCoverWidth,
                                              m.begin() + std::ptrdiff_t{y + 1} * kCoverWidth);
            const auto found = std::find(r.patterns.begin(), r.patterns.end(), row);
            r.of.push_back(static_cast<std::size_t>(found - r.patterns.begin()));
            if (found == r.patterns.end())
                r.patterns.push_back(row);
        }
        return r;
    }();
    return rows.patterns[rows.of[y]].data();
}

void readCoverRow(const Surface &surface, int y, CoverMatrix &covermatrix) {
    ColourWord *dst = covermatrix.row(y);
    const int maxX = covermatrix.maxX();
    int x = 1;
    if (y < surface.height()) {
        const ColourWord *src = surface.image().row(y);
        const int inside = std::min(maxX, surface.width() - 1);
        if (inside >= 1)
            x = static_cast<int>(std::copy(src + 1, src + inside + 1, dst + 1) - dst);
    }
    for (; x <= maxX; ++x)
        dst[x] = kOutside;
}

void embedApproximationRow(int y, const CoverRows &cover, const CoeffMatrix &coeff,
                           Surface &target, double *errors) {
    const Coefficient *c = coeff.row(y);
    const ColourWord *t = cover.row(y);
    // The last group ends at column 958; a row that holds it is written
    // directly, another pixel by pixel.
    ColourWord *row = y < target.height() && target.width() > groupColumn(y, kApproximationGroups) + 15
                          ? target.image().row(y)
                          : nullptr;
    // A local sum stays in a register; the caller's is written once.
    double sum = errors ? *errors : 0;
    const auto write = [&](int x, ColourWord before, ColourWord after) {
        if (row) {
            row[x] = after;
            if (errors)
                sum += squaredGreyError(before, after); // 0 for a pixel left as it was
        } else {
            set(target, x, y, before, after, errors ? &sum : nullptr);
        }
    };
    for (int g = 1; g <= kApproximationGroups; ++g) {
        const int a = c[3 * g - 2];
        const int b = c[3 * g - 1];
        // The last group has no third coefficient; its string is all ones.
        const int cc = g == kApproximationGroups ? 255 : c[3 * g];
        assert(a >= 0 && a <= 255 && b >= 0 && b <= 255 && cc >= 0 && cc <= 255);
        const int q = groupColumn(y, g);
        const ColourWord p1 = t[q], p2 = t[q + 5], p3 = t[q + 10], p4 = t[q + 15];
        write(q, p1, withLowPairs(p1, pair(a, 6), pair(b, 0), pair(cc, 4)));
        write(q + 5, p2, withLowPairs(p2, pair(a, 2), pair(b, 2), pair(cc, 0)));
        write(q + 10, p3, withLowPairs(p3, pair(cc, 6), pair(b, 4), pair(a, 4)));
        write(q + 15, p4, withLowPairs(p4, pair(a, 0), pair(b, 6), pair(cc, 2)));
    }
    if (errors)
        *errors = sum;
}

namespace {

// The detail stages' inner loop: every other pixel of a row gets its bits.
void embedEveryOther(ColourWord *dst, const ColourWord *t, const Coefficient *c, int count,
                     std::ptrdiff_t coeffStride) {
    for (int k = 0; k < count; ++k, c += coeffStride)
        dst[2 * k] = embedDetail(t[2 * k], *c);
}

// The same, adding the squared errors to sum: formed side by side first, so
// they vectorise, then added in order. A pixel left as it was adds exactly 0,
// which changes no sum.
OMBREL_ROW_LOOPS void embedEveryOtherSumming(ColourWord *dst, const ColourWord *t,
                                             const Coefficient *c, int count,
                                             std::ptrdiff_t coeffStride, double &sum) {
    double squared[kDetailsPerRow];
    for (int k = 0; k < count; ++k, c += coeffStride) {
        const ColourWord before = t[2 * k], after = embedDetail(before, *c);
        dst[2 * k] = after;
        squared[k] = squaredGreyError(before, after);
    }
    double total = sum;
    for (int k = 0; k < count; ++k)
        total += squared[k];
    sum = total;
}

void embedRun(ColourWord *dst, const ColourWord *t, const Coefficient *c, int count,
              std::ptrdiff_t coeffStride, double *errors) {
    assert(count <= kDetailsPerRow);
    if (errors)
        embedEveryOtherSumming(dst, t, c, count, coeffStride, *errors);
    else
        embedEveryOther(dst, t, c, count, coeffStride);
}

} // namespace

void embedRightRow(int y, const CoverRows &cover, const CoeffMatrix &coeff, Surface &target,
                   double *errors) {
    const Coefficient *c = coeff.row(y);
    const int row = y + kRightRowOffset;
    const ColourWord *t = cover.row(row);
    const int first = rightColumn(y, kFirstDetail);
    if (row >= target.height() || first + 2 * (kDetailsPerRow - 1) >= target.width()) {
        for (int x = kFirstDetail; x <= kWatermarkSize; ++x) {
            const int column = rightColumn(y, x);
            const ColourWord before = cover.at(column, row);
            set(target, column, row, before, embedDetail(before, c[x]), errors);
        }
        return;
    }
    embedRun(target.image().row(row) + first, t + first, c + kFirstDetail, kDetailsPerRow, 1, errors);
}

void embedLowerColumn(int x, const CoverRows &cover, const CoeffMatrix &coeff,
                      Surface &target, double *errors) {
    const int row = x + kLowerRowOffset;
    const Coefficient *c = coeff.row(kFirstDetail) + x;
    const int stride = coeff.stride();
    // Row 768 and column 1024 lie outside a 1024 x 768 cover: those writes drop.
    int y = kFirstDetail;
    if (row < target.height()) {
        const int inside =
            std::min(kWatermarkSize, (target.width() - 1 - lowerColumn(x, kBandSize)) / 2 + kBandSize);
        const int first = lowerColumn(x, kFirstDetail);
        if (inside >= y) {
            embedRun(target.image().row(row) + first, cover.row(row) + first, c, inside - kBandSize,
                     stride, errors);
            c += static_cast<std::ptrdiff_t>(inside - kBandSize) * stride;
            y = inside + 1;
        }
    }
    for (; y <= kWatermarkSize; ++y, c += stride) {
        const int column = lowerColumn(x, y);
        const ColourWord before = cover.at(column, row);
        set(target, column, row, before, embedDetail(before, *c), errors);
    }
}

OMBREL_ROW_LOOPS void gatherApproximationRow(int y, const CoverRows &cover, CoeffMatrix &coeff) {
    const ColourWord *s = cover.row(y);
    Coefficient *c = coeff.row(y);
    for (int g = 1; g <= kApproximationGroups; ++g) {
        const int q = groupColumn(y, g);
        const ColourWord p1 = s[q], p2 = s[q + 5], p3 = s[q + 10], p4 = s[q + 15];
        c[3 * g - 2] = (lowPair(p1, 16) << 6) | (lowPair(p3, 0) << 4) | (lowPair(p2, 16) << 2) |
                       lowPair(p4, 16);
        c[3 * g - 1] = (lowPair(p4, 8) << 6) | (lowPair(p3, 8) << 4) | (lowPair(p2, 8) << 2) |
                       lowPair(p1, 8);
        if (g != kApproximationGroups)
            c[3 * g] = (lowPair(p3, 16) << 6) | (lowPair(p1, 0) << 4) | (lowPair(p4, 0) << 2) |
                       lowPair(p2, 0);
    }
}

OMBREL_ROW_LOOPS void gatherRightRow(int y, const CoverRows &cover, CoeffMatrix &coeff) {
    const ColourWord *s = cover.row(y + kRightRowOffset) + rightColumn(y, kFirstDetail);
    Coefficient *c = coeff.row(y) + kFirstDetail;
    for (int k = 0; k < kDetailsPerRow; ++k)
        c[k] = static_cast<Coefficient>(gatherDetail(s[2 * k]));
}

OMBREL_ROW_LOOPS void gatherLowerColumn(int x, const CoverRows &cover, CoeffMatrix &coeff) {
    const int row = x + kLowerRowOffset;
    const int first = lowerColumn(x, kFirstDetail);
    const ColourWord *s = cover.row(row) + first;
    Coefficient *c = coeff.row(kFirstDetail) + x;
    const int stride = coeff.stride();
    // An image as wide as the cover ends before column 1024, which reads -1.
    const int inside = std::clamp((cover.width() - 1 - first) / 2 + 1, 0, kDetailsPerRow);
    int k = 0;
    for (; k < inside; ++k, c += stride)
        *c = static_cast<Coefficient>(gatherDetail(s[2 * k]));
    for (; k < kDetailsPerRow; ++k, c += stride)
        *c = static_cast<Coefficient>(gatherDetail(kOutside));
}

} // namespace ombrel
