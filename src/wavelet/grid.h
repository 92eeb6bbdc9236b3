// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/row_loops.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace ombrel {

// Memory that comes zeroed from calloc and is left alone on value
// initialisation: a large matrix costs no page until it is written, so a
// pipeline's matrices are not all resident at once.
template <typename T>
struct ZeroedAllocator {
    using value_type = T;
    ZeroedAllocator() = default;
    template <typename U>
    ZeroedAllocator(const ZeroedAllocator<U> &) {}
    T *allocate(std::size_t n) {
        if (void *p = std::calloc(n, sizeof(T)))
            return static_cast<T *>(p);
        throw std::bad_alloc();
    }
    void deallocate(T *p, std::size_t) { std::free(p); }
    template <typename U, typename... Args>
    void construct(U *p, Args &&...args) {
        if constexpr (sizeof...(Args) > 0)
            ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
    }
    friend bool operator==(const ZeroedAllocator &, const ZeroedAllocator &) { return true; }
};

// A matrix indexed (x, y) with 0 <= x <= maxX and 0 <= y <= maxY, x the
// column. The pipelines use 1..max only; row 0 and column 0 stay untouched.
// Rows are contiguous so passes along x run over plain arrays.
template <typename T>
class Grid {
    static_assert(std::is_arithmetic_v<T>, "calloc's zero bytes must be T{}");

public:
    Grid(int maxX, int maxY, T fill = T{})
        : maxX_(maxX), maxY_(maxY), cells_(static_cast<std::size_t>(maxX + 1) * (maxY + 1)) {
        if (fill != T{})
            std::fill(cells_.begin(), cells_.end(), fill);
    }

    int maxX() const { return maxX_; }
    int maxY() const { return maxY_; }
    int stride() const { return maxX_ + 1; }

    T &operator()(int x, int y) { return cells_[index(x, y)]; }
    const T &operator()(int x, int y) const { return cells_[index(x, y)]; }
    T *row(int y) { return cells_.data() + index(0, y); }
    const T *row(int y) const { return cells_.data() + index(0, y); }

    friend bool operator==(const Grid &, const Grid &) = default;

private:
    std::size_t index(int x, int y) const {
        return static_cast<std::size_t>(y) * (maxX_ + 1) + x;
    }

    int maxX_;
    int maxY_;
    std::vector<T, ZeroedAllocator<T>> cells_;
};

// Coefficients are whole numbers at every stage (the transform rounds each
// level, the extraction gathers integers), so integers hold them exactly.
// None passes 927 in magnitude (an extracted level undone twice), so 16 bits
// do: half the memory of 32, and twice the values in every vector register.
using Coefficient = std::int16_t;
using CoeffMatrix = Grid<Coefficient>;
// The watermark's side, and so that of every coefficient matrix.
inline constexpr int kWatermarkSize = 512;

inline CoeffMatrix makeCoeffMatrix() { return CoeffMatrix(kWatermarkSize, kWatermarkSize); }

} // namespace ombrel
