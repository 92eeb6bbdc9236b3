// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>
#include <string>

namespace ombrel {

// Binary digits of value, most significant first, padded with "0" in front to
// at least width characters. A negative value spells one digit: its parity.
std::string dec2bin(std::int32_t value, std::int16_t width);

// Reads the decimal digits of number (each 0 or 1) as a base-2 value.
std::int32_t bin2dec(std::int32_t number);

// The decimal number whose digits are the characters of a digit string, as the
// callers of bin2dec pass it ("00010110" becomes 10110).
std::int32_t digitsAsDecimal(const std::string &digits);

} // namespace ombrel
