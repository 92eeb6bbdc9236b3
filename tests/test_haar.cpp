// SPDX-License-Identifier: Apache-2.0
#include "wavelet/haar.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <utility>

namespace ombrel {
namespace {

using Cells = std::map<std::pair<int, int>, int>;

CoeffMatrix withCells(const Cells &cells) {
    CoeffMatrix m = makeCoeffMatrix();
    for (const auto &[at, v] : cells)
        m(at.first, at.second) = v;
    return m;
}

// Every entry in 1..512 equals the listed value, or 0 where none is listed.
void expectCells(const CoeffMatrix &m, const Cells &cells, const char *what) {
    for (int y = 1; y <= 512; ++y)
        for (int x = 1; x <= 512; ++x) {
            const auto it = cells.find({x, y});
            ASSERT_EQ(m(x, y), it == cells.end() ? 0 : it->second) << what << " at " << x << "," << y;
        }
}

TEST(Haar, RoundQuarterTiesToEven) {
    const std::pair<int, int> rows[] = {{10, 2}, {14, 4}, {-10, -2}, {-14, -4}, {510, 128},
                                        {-510, -128}, {3, 1}, {-3, -1}, {1, 0}, {-1, 0}};
    for (auto [s, q] : rows)
        EXPECT_EQ(roundQuarter(s), q) << s << "/4";
}

TEST(Haar, ForwardEdgeCases) {
    CoeffMatrix flat = makeCoeffMatrix();
    for (int y = 1; y <= 512; ++y)
        for (int x = 1; x <= 512; ++x)
            flat(x, y) = 200;
    const CoeffMatrix l1 = fwdwavelet(flat, 512);
    const CoeffMatrix l2 = fwdwavelet(l1, 256);
    EXPECT_EQ(l2(1, 1), 200);
    EXPECT_EQ(l2(128, 128), 200);
    EXPECT_EQ(l2(129, 1), 0);
    EXPECT_EQ(l2(300, 300), 0);
    EXPECT_EQ(l1(256, 256), 200);

    const CoeffMatrix single1 = fwdwavelet(withCells({{{1, 1}, 255}}), 512);
    expectCells(single1, {{{1, 1}, 64}, {{257, 1}, 64}, {{1, 257}, 64}, {{257, 257}, 64}}, "level 1");
    expectCells(fwdwavelet(single1, 256),
                {{{1, 1}, 16}, {{129, 1}, 16}, {{1, 129}, 16}, {{129, 129}, 16},
                 {{257, 1}, 64}, {{1, 257}, 64}, {{257, 257}, 64}},
                "level 2");

    EXPECT_EQ(fwdwavelet(withCells({{{1, 1}, 10}}), 512)(1, 1), 2);
    EXPECT_EQ(fwdwavelet(withCells({{{1, 1}, 14}}), 512)(1, 1), 4);
    EXPECT_EQ(fwdwavelet(withCells({{{2, 1}, 10}}), 512)(257, 1), -2);
    EXPECT_EQ(fwdwavelet(withCells({{{1, 1}, 255}, {{1, 2}, 255}}), 512)(257, 1), 128);
    EXPECT_EQ(fwdwavelet(withCells({{{2, 1}, 255}, {{2, 2}, 255}}), 512)(257, 1), -128);
}

TEST(Haar, InverseEdgeCases) {
    const Cells four100 = {{{1, 1}, 100}, {{2, 1}, 100}, {{1, 2}, 100}, {{2, 2}, 100}};
    expectCells(invwavelet(withCells({{{1, 1}, 100}}), 2), four100, "level 2 approximation");
    expectCells(invwavelet(withCells({{{1, 1}, 100}}), 1), four100, "level 1 approximation");
    const Cells horizontal = {{{1, 1}, 16}, {{1, 2}, 16}, {{2, 1}, -16}, {{2, 2}, -16}};
    expectCells(invwavelet(withCells({{{129, 1}, 16}}), 2), horizontal, "level 2 horizontal");
    expectCells(invwavelet(withCells({{{257, 1}, 16}}), 1), horizontal, "level 1 horizontal");
    expectCells(invwavelet(withCells({{{1, 129}, 16}}), 2),
                {{{1, 1}, 16}, {{2, 1}, 16}, {{1, 2}, -16}, {{2, 2}, -16}}, "level 2 vertical");
}

TEST(Haar, InverseLevelTwoKeepsTheRest) {
    CoeffMatrix m = makeCoeffMatrix();
    std::mt19937 gen(3);
    for (int y = 1; y <= 512; ++y)
        for (int x = 1; x <= 512; ++x)
            m(x, y) = static_cast<int>(gen() % 200) - 100;
    const CoeffMatrix out = invwavelet(m, 2);
    for (int y = 1; y <= 512; ++y)
        for (int x = 1; x <= 512; ++x)
            if (x > 256 || y > 256) {
                ASSERT_EQ(out(x, y), m(x, y));
            }
}

// Without rounding in between (sums divisible by four) the inverse gives the
// input back exactly, at both levels.
TEST(Haar, InverseUndoesForward) {
    CoeffMatrix m = makeCoeffMatrix();
    std::mt19937 gen(11);
    for (int y = 1; y <= 512; ++y)
        for (int x = 1; x <= 512; ++x)
            m(x, y) = static_cast<int>(gen() % 64) * 4;
    const CoeffMatrix l1 = fwdwavelet(m, 512);
    EXPECT_EQ(invwavelet(l1, 1), m);
    CoeffMatrix inner = l1;
    for (int y = 1; y <= 256; ++y)
        for (int x = 1; x <= 256; ++x)
            inner(x, y) = static_cast<int>(gen() % 64) * 4;
    EXPECT_EQ(invwavelet(fwdwavelet(inner, 256), 2), inner);
}

TEST(Haar, RowAndColumnZeroUntouched) {
    CoeffMatrix m = makeCoeffMatrix();
    for (int y = 1; y <= 512; ++y)
        for (int x = 1; x <= 512; ++x)
            m(x, y) = 255;
    const CoeffMatrix l2 = fwdwavelet(fwdwavelet(m, 512), 256);
    for (int i = 0; i <= 512; ++i) {
        EXPECT_EQ(l2(0, i), 0);
        EXPECT_EQ(l2(i, 0), 0);
    }
}

} // namespace
} // namespace ombrel
