// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "wavelet/grid.h"

namespace ombrel {

// One level of the two-dimensional Haar decomposition on the top-left n x n
// block (n = 512 or 256): averages at 1..n/2 and half-differences (first of
// the pair minus the second) at n/2+1..n, along x and then along y, each
// coefficient rounded to the nearest whole number, ties to even. Everything
// outside the block is copied from source.
void fwdwavelet(const CoeffMatrix &source, int n, CoeffMatrix &target);
inline CoeffMatrix fwdwavelet(const CoeffMatrix &source, int n) {
    CoeffMatrix target = makeCoeffMatrix();
    fwdwavelet(source, n, target);
    return target;
}

// Undoes one level: level 2 works on the top-left 256 x 256 block, level 1
// on the whole 512 x 512 matrix; outside the block the input is kept.
void invwavelet(const CoeffMatrix &p, int level, CoeffMatrix &target);
inline CoeffMatrix invwavelet(const CoeffMatrix &p, int level) {
    CoeffMatrix target = makeCoeffMatrix();
    invwavelet(p, level, target);
    return target;
}

// Nearest whole number to s / 4, ties to even; in 16 bits, so that a row of
// them vectorises eight at a time.
constexpr Coefficient roundQuarter(Coefficient s) {
    const Coefficient floor = static_cast<Coefficient>(s >> 2);
    // Up when the remainder passes one half, or meets it from an odd floor.
    return static_cast<Coefficient>(floor + (((s & 3) + (floor & 1)) > 2));
}

} // namespace ombrel
