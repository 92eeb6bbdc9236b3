#pragma once

#include "wavelet/grid.h"

namespace ombrel {

// One level of the two-dimensional Haar decomposition on the top-left n x n
// block (n = 512 or 256): averages at 1..n/2 and half-differences (first of
// the pair minus the second) at n/2+1..n, along x and then along y, each
// coefficient rounded to the nearest whole number, ties to even. Everything
// outside the block is copied from source.
CoeffMatrix fwdwavelet(const CoeffMatrix &source, int n);

// Undoes one level: level 2 works on the top-left 256 x 256 block, level 1
// on the whole 512 x 512 matrix; outside the block the input is kept.
CoeffMatrix invwavelet(const CoeffMatrix &p, int level);

// Nearest whole number to s / 4, ties to even.
constexpr std::int32_t roundQuarter(std::int32_t s) {
    const std::int32_t floor = s >> 2;
    const std::int32_t rest = s & 3;
    return floor + (rest > 2 || (rest == 2 && (floor & 1)) ? 1 : 0);
}

} // namespace ombrel
