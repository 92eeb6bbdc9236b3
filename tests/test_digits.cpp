// SPDX-License-Identifier: Apache-2.0
#include "support/digits.h"

#include <gtest/gtest.h>

namespace ombrel {
namespace {

TEST(Digits, Dec2Bin) {
    struct Row {
        std::int32_t value;
        std::int16_t width;
        const char *digits;
    };
    const Row rows[] = {
        {5, 8, "00000101"},
        {0, 8, "00000000"},
        {255, 8, "11111111"},
        {256, 8, "100000000"},
        {16777215, 24, "111111111111111111111111"},
        {0x0000FF, 24, "000000000000000011111111"},
        {-1, 24, "000000000000000000000001"},
        {-2, 8, "00000000"},
        {6, 0, "110"},
        {8, 3, "1000"},
    };
    for (const Row &r : rows)
        EXPECT_EQ(dec2bin(r.value, r.width), r.digits) << r.value << " width " << r.width;
}

TEST(Digits, Bin2Dec) {
    const std::pair<std::int32_t, std::int32_t> rows[] = {
        {0, 0}, {1, 1}, {10, 2}, {101, 5}, {10110, 22}, {11111111, 255}, {1101100, 108},
    };
    for (auto [number, value] : rows)
        EXPECT_EQ(bin2dec(number), value) << number;
}

TEST(Digits, RoundTripThroughDecimalDigits) {
    for (int v = 0; v <= 255; ++v)
        EXPECT_EQ(bin2dec(digitsAsDecimal(dec2bin(v, 8))), v);
}

} // namespace
} // namespace ombrel
