// SPDX-License-Identifier: Apache-2.0
#include "stego/layout.h"

#include "imaging/quality.h"

#include <algorithm>
#include <array>

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

namespace {

// Which pattern of carried bits cover row y (0..767) has. A row's bits depend
// only on its stage and on the parity of its index there, as the column
// formulas above do: 0 for row 0, then two patterns for each stage.
constexpr int kCarriedPatterns = 7;
constexpr int carriedPatternOf(int y) {
    if (y == 0)
        return 0;
    if (y <= kBandSize)
        return 1 + y % 2;
    if (y <= kLowerRowOffset)
        return 3 + (y - kRightRowOffset) % 2;
    return 5 + (y - kLowerRowOffset) % 2;
}

// The bits the stages write into cover row y, built from the stages' own columns.
void fillCarriedRow(int y, ColourWord *row) {
    std::fill(row, row + kCoverWidth, 0);
    const auto carry = [row](int x, ColourWord bits) {
        if (x < kCoverWidth)
            row[x] = bits;
    };
    if (y == 0)
        return;
    if (y <= kBandSize) {
        for (int g = 1; g <= kApproximationGroups; ++g)
            for (int k = 0; k < 4; ++k)
                carry(groupColumn(y, g) + 5 * k, 0x030303);
    } else if (y <= kLowerRowOffset) {
        for (int x = kFirstDetail; x <= kWatermarkSize; ++x)
            carry(rightColumn(y - kRightRowOffset, x), 0x010101);
    } else {
        for (int c = kFirstDetail; c <= kWatermarkSize; ++c)
            carry(lowerColumn(y - kLowerRowOffset, c), 0x010101);
    }
}

// Seven rows of masks stay in the cache beside the pixels they mask; a
// whole-cover mask would be 3 MiB, built anew in every process.
struct CarriedPattern {
    std::array<ColourWord, kCoverWidth> bits{};
    std::array<std::uint16_t, kCoverWidth> columns{};
    std::size_t count = 0;
};

const CarriedPattern &carriedPattern(int y) {
    assert(y >= 0 && y < kCoverHeight);
    static const auto patterns = [] {
        std::array<CarriedPattern, kCarriedPatterns> p{};
        std::array<bool, kCarriedPatterns> filled{};
        for (int y = 0; y < kCoverHeight; ++y)
            if (CarriedPattern &one = p[carriedPatternOf(y)]; !filled[carriedPatternOf(y)]) {
                fillCarriedRow(y, one.bits.data());
                for (int x = 0; x < kCoverWidth; ++x)
                    if (one.bits[x])
                        one.columns[one.count++] = static_cast<std::uint16_t>(x);
                filled[carriedPatternOf(y)] = true;
            }
        return p;
    }();
    return patterns[carriedPatternOf(y)];
}

} // namespace

const ColourWord *carriedBitsRow(int y) { return carriedPattern(y).bits.data(); }

std::span<const std::uint16_t> carriedColumns(int y) {
    const CarriedPattern &p = carriedPattern(y);
    return {p.columns.data(), p.count};
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
