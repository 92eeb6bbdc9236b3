// SPDX-License-Identifier: Apache-2.0
#include "support/digits.h"

#include <cmath>
#include <string>

namespace ombrel {

std::string dec2bin(std::int32_t value, std::int16_t width) {
    std::string text;
    do {
        text.insert(text.begin(), (value % 2 == 0) ? '0' : '1');
        value /= 2;
    } while (value >= 1);
    if (static_cast<int>(text.size()) < width)
        text.insert(text.begin(), static_cast<std::size_t>(width) - text.size(), '0');
    return text;
}

std::int32_t bin2dec(std::int32_t number) {
    // One round per decimal digit plus one for the sign position.
    const int rounds = static_cast<int>(std::to_string(number < 0 ? -static_cast<long long>(number)
                                                                  : number)
                                            .size()) +
                       1;
    long long n = number;
    long long modulus = 10;
    std::int32_t sum = 0;
    for (int i = 0; i < rounds; ++i) {
        if ((n % modulus) % 2 != 0)
            sum += std::int32_t{1} << i;
        n = static_cast<long long>(std::nearbyint(static_cast<double>(n) / 10.0));
        if (modulus < 1'000'000'000'000'000LL)
            modulus *= 10;
    }
    return sum;
}

std::int32_t digitsAsDecimal(const std::string &digits) {
    std::int32_t n = 0;
    for (char c : digits)
        n = n * 10 + (c - '0');
    return n;
}

} // namespace ombrel
