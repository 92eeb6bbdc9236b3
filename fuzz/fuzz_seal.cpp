// SPDX-License-Identifier: Apache-2.0
// Arbitrary pictures through the seal's checker: any size, channels and
// depth (the ones it cannot take refused, not read), any samples. A check
// must report consistently; a picture sealed must check intact on any number
// of threads, and a bit changed in it must show in its unit.
#include "stego/seal.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace {

void require(bool holds) {
    if (!holds)
        __builtin_trap();
}

void consistent(const ombrel::SealReport &r, int width, int height) {
    require(r.unitsChecked == r.units.count());
    require(static_cast<int>(r.altered.size()) == r.unitsChecked);
    require(r.unitsAltered == static_cast<int>(std::count(r.altered.begin(), r.altered.end(), 1)));
    require(r.alteredBox.has_value() == (r.unitsAltered > 0));
    if (r.alteredBox)
        require(r.alteredBox->left >= 0 && r.alteredBox->top >= 0 && r.alteredBox->right < width &&
                r.alteredBox->bottom < height && r.alteredBox->left <= r.alteredBox->right &&
                r.alteredBox->top <= r.alteredBox->bottom);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // Width, height, channels and depth, then the samples, repeated to fill.
    if (size < 5)
        return 0;
    const int width = data[0] + 1, height = data[1] + 1;
    const int channels = data[2] % 6; // 0 and 5 are refused
    const int bitDepth = data[3] % 3 == 0 ? 8 : data[3] % 3 == 1 ? 16 : 12;
    const std::uint8_t *samples = data + 4;
    const std::size_t given = size - 4;
    const std::ptrdiff_t stride = std::ptrdiff_t(width) * std::max(channels, 1);
    const std::size_t n = static_cast<std::size_t>(stride) * height;
    std::vector<std::uint16_t> wide(n);
    std::vector<std::uint8_t> narrow(n);
    for (std::size_t i = 0; i < n; ++i) {
        narrow[i] = samples[i % given];
        wide[i] = static_cast<std::uint16_t>(samples[i % given] | samples[(i + 1) % given] << 8);
    }
    const ombrel::SealPixels picture{width,  height, channels, bitDepth, stride,
                                     bitDepth == 16 ? static_cast<void *>(wide.data())
                                                    : static_cast<void *>(narrow.data())};
    static const std::vector<std::uint8_t> secret(32, 0x42);
    const bool takes = channels >= 1 && channels <= 4 && bitDepth != 12;
    try {
        consistent(ombrel::checkSeal(picture, secret, "fuzz", 1), width, height);
    } catch (const std::invalid_argument &) {
        require(!takes);
        return 0;
    }
    require(takes);

    ombrel::sealPicture(picture, secret, "fuzz", 2);
    const ombrel::SealReport sealed = ombrel::checkSeal(picture, secret, "fuzz", 3);
    consistent(sealed, width, height);
    require(sealed.intact());

    // A bit picked by the input, flipped: its unit fails, and only it, where
    // the unit is big enough for the odds of a miss to be nil.
    const std::size_t at = (std::size_t(data[4]) * 7919 + size) % n;
    const int y = static_cast<int>(at / static_cast<std::size_t>(stride));
    const int x = static_cast<int>(at % static_cast<std::size_t>(stride)) / channels;
    if (bitDepth == 16)
        wide[at] ^= static_cast<std::uint16_t>(1u << (data[4] % 16));
    else
        narrow[at] ^= static_cast<std::uint8_t>(1u << (data[4] % 8));
    const ombrel::SealReport flipped = ombrel::checkSeal(picture, secret, "fuzz", 0);
    consistent(flipped, width, height);
    const ombrel::SealUnits &u = flipped.units;
    const int ux = std::min(x / 8, u.across - 1), uy = std::min(y / 8, u.down - 1);
    if (u.unitWidth(ux) * u.unitHeight(uy) >= 64)
        require(flipped.unitsAltered == 1 && flipped.unitAltered(ux, uy));
    else
        require(flipped.unitsAltered <= 1);
    return 0;
}
