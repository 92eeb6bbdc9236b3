// SPDX-License-Identifier: Apache-2.0
#include "wavelet/haar.h"

namespace ombrel {

namespace {

// Both directions leave everything outside the top-left n x n block as it is.
void copyOutsideBlock(const CoeffMatrix &source, int n, CoeffMatrix &out) {
    for (int y = 1; y <= kWatermarkSize; ++y) {
        const Coefficient *src = source.row(y);
        Coefficient *dst = out.row(y);
        for (int x = y <= n ? n + 1 : 1; x <= kWatermarkSize; ++x)
            dst[x] = src[x];
    }
}

} // namespace

OMBREL_ROW_LOOPS void fwdwavelet(const CoeffMatrix &source, int n, CoeffMatrix &out) {
    const int h = n / 2;
    copyOutsideBlock(source, n, out);
    // Working on sums of four scaled by 4 gives exactly the values of the two
    // halving passes, since every intermediate is a whole number over 2 or 4.
    // Vertical sums and differences first, then pairs along the row: the
    // first loop runs over contiguous memory and both vectorise. A sum of
    // four values of 0..255 (or of -128..128) stays within 16 bits.
    Coefficient sums[kWatermarkSize + 1], diffs[kWatermarkSize + 1];
    for (int j = 1; j <= h; ++j) {
        const Coefficient *__restrict top = source.row(2 * j - 1);
        const Coefficient *__restrict bottom = source.row(2 * j);
        for (int k = 1; k <= n; ++k) {
            sums[k] = static_cast<Coefficient>(top[k] + bottom[k]);
            diffs[k] = static_cast<Coefficient>(top[k] - bottom[k]);
        }
        Coefficient *__restrict approx = out.row(j);
        Coefficient *__restrict vertical = out.row(j + h);
        for (int i = 1; i <= h; ++i) {
            const Coefficient s1 = sums[2 * i - 1], s2 = sums[2 * i];
            const Coefficient d1 = diffs[2 * i - 1], d2 = diffs[2 * i];
            approx[i] = roundQuarter(static_cast<Coefficient>(s1 + s2));
            approx[i + h] = roundQuarter(static_cast<Coefficient>(s1 - s2));
            vertical[i] = roundQuarter(static_cast<Coefficient>(d1 + d2));
            vertical[i + h] = roundQuarter(static_cast<Coefficient>(d1 - d2));
        }
    }
}

OMBREL_ROW_LOOPS void invwavelet(const CoeffMatrix &p, int level, CoeffMatrix &out) {
    const int n = level == 2 ? kWatermarkSize / 2 : kWatermarkSize;
    const int h = n / 2;
    copyOutsideBlock(p, n, out);
    // Both passes fused: a 2 x 2 output block comes from one coefficient of
    // each band, undoing y first and x second exactly as two passes would.
    for (int j = 1; j <= h; ++j) {
        const Coefficient *upper = p.row(j);
        const Coefficient *lower = p.row(j + h);
        Coefficient *odd = out.row(2 * j - 1);
        Coefficient *even = out.row(2 * j);
        for (int i = 1; i <= h; ++i) {
            const std::int32_t a = upper[i], hd = upper[i + h];
            const std::int32_t v = lower[i], dd = lower[i + h];
            // Pass along y: T(i, 2j-1) = a + v, T(i, 2j) = a - v, same for the right half.
            const std::int32_t ta = a + v, tb = a - v;
            const std::int32_t th = hd + dd, tk = hd - dd;
            odd[2 * i - 1] = ta + th;
            odd[2 * i] = ta - th;
            even[2 * i - 1] = tb + tk;
            even[2 * i] = tb - tk;
        }
    }
}

} // namespace ombrel
