// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstdint>

namespace ombrel {

// A pixel's colour: R + 256 * G + 65536 * B, red in the low byte, top byte 0.
// -1 is not a colour: it is what a read outside a surface returns.
using ColourWord = std::int32_t;

inline constexpr ColourWord kOutside = -1;

// The desktop's control-face grey; fills every pixel nothing has set.
inline constexpr ColourWord kControlFace = 240 + 256 * 240 + 65536 * 240;

// Components above 255 count as 255; negative ones (no caller passes them) as 0.
constexpr ColourWord rgb(int red, int green, int blue) {
    auto clamp = [](int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); };
    return clamp(red) + 256 * clamp(green) + 65536 * clamp(blue);
}

// The grey colour word of a level 0..255; shifts, so whole rows vectorise.
constexpr ColourWord greyWord(int level) { return level | (level << 8) | (level << 16); }

struct Channels {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

// Arithmetic shifts floor towards minus infinity, so -1 splits into 255, 255, 255.
constexpr Channels split(ColourWord c) {
    return {static_cast<std::uint8_t>(c & 255), static_cast<std::uint8_t>((c >> 8) & 255),
            static_cast<std::uint8_t>((c >> 16) & 255)};
}

constexpr bool isGrey(ColourWord c) {
    const Channels ch = split(c);
    return ch.red == ch.green && ch.green == ch.blue;
}

} // namespace ombrel
