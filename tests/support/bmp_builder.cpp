// SPDX-License-Identifier: Apache-2.0
#include "support/bmp_builder.h"

#include <algorithm>
#include <random>

namespace ombrel::test {

namespace {

void put16(std::string &s, int v) {
    s += static_cast<char>(v & 255);
    s += static_cast<char>((v >> 8) & 255);
}
void put32(std::string &s, long long v) {
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 255);
}

int paletteSize(int bits) { return bits <= 8 ? 1 << bits : 0; }

// Palette entry i: distinct, recognisable colours.
ColourWord paletteColour(int i, int bits) {
    if (bits == 1)
        return i ? rgb(255, 255, 255) : rgb(0, 0, 0);
    return rgb((i * 37) & 255, (i * 91 + 11) & 255, (i * 53 + 200) & 255);
}

int indexAt(int x, int y, int bits) { return (x * 3 + y * 5) % paletteSize(bits); }

ColourWord directAt(int x, int y, int bits) {
    if (bits == 16) { // 5 bits a channel, which Qt's reader widens by a shift
        auto expand = [](int v) { return v << 3; };
        return rgb(expand((x * 7) & 31), expand((y * 11) & 31), expand((x + y) & 31));
    }
    return rgb((x * 40 + y) & 255, (y * 60 + 7) & 255, (x * y * 13) & 255);
}

} // namespace

Image patternFor(const BmpLayout &layout) {
    Image image(layout.width, layout.height);
    for (int y = 0; y < layout.height; ++y)
        for (int x = 0; x < layout.width; ++x)
            image.at(x, y) = layout.bits <= 8 ? paletteColour(indexAt(x, y, layout.bits), layout.bits)
                                            : directAt(x, y, layout.bits);
    return image;
}

std::string makeBmp(const BmpLayout &layout) {
    const int colours = paletteSize(layout.bits);
    const int entrySize = layout.headerSize == 12 ? 3 : 4;
    std::string pixels;
    const int stride = ((layout.width * layout.bits + 31) / 32) * 4;
    for (int row = 0; row < layout.height; ++row) {
        const int y = layout.topDown ? row : layout.height - 1 - row;
        if (layout.compression == 1) {
            for (int x = 0; x < layout.width; ++x) {
                pixels += char(1);
                pixels += static_cast<char>(indexAt(x, y, 8));
            }
            pixels += std::string("\0\0", 2);
            continue;
        }
        if (layout.compression == 2) {
            for (int x = 0; x < layout.width; x += 2) {
                const int n = std::min(2, layout.width - x);
                const int hi = indexAt(x, y, 4), lo = n == 2 ? indexAt(x + 1, y, 4) : 0;
                pixels += static_cast<char>(n);
                pixels += static_cast<char>((hi << 4) | lo);
            }
            pixels += std::string("\0\0", 2);
            continue;
        }
        std::string line(stride, '\0');
        for (int x = 0; x < layout.width; ++x) {
            if (layout.bits <= 8) {
                const int i = indexAt(x, y, layout.bits);
                const int bit = x * layout.bits;
                line[bit / 8] = static_cast<char>(line[bit / 8] | (i << (8 - layout.bits - bit % 8)));
                continue;
            }
            const Channels c = split(directAt(x, y, layout.bits));
            if (layout.bits == 16) {
                const int v = ((c.red >> 3) << 10) | ((c.green >> 3) << 5) | (c.blue >> 3);
                line[2 * x] = static_cast<char>(v & 255);
                line[2 * x + 1] = static_cast<char>(v >> 8);
            } else {
                const int n = layout.bits / 8;
                line[n * x] = static_cast<char>(c.blue);
                line[n * x + 1] = static_cast<char>(c.green);
                line[n * x + 2] = static_cast<char>(c.red);
            }
        }
        pixels += line;
    }
    if (layout.compression != 0)
        pixels += std::string("\0\1", 2);

    std::string info;
    put32(info, layout.headerSize);
    if (layout.headerSize == 12) {
        put16(info, layout.width);
        put16(info, layout.height);
        put16(info, 1);
        put16(info, layout.bits);
    } else {
        put32(info, layout.width);
        put32(info, layout.topDown ? -layout.height : layout.height);
        put16(info, 1);
        put16(info, layout.bits);
        put32(info, layout.compression);
        put32(info, static_cast<long long>(pixels.size()));
        put32(info, 2835);
        put32(info, 2835);
        put32(info, colours);
        put32(info, 0);
        if (layout.headerSize >= 108) {
            // v4/v5: masks (unused without bit fields), colour space "sRGB", rest zero.
            for (int i = 0; i < 4; ++i)
                put32(info, 0);
            info += "BGRs";
            info.resize(layout.headerSize, '\0');
        }
    }
    std::string palette;
    for (int i = 0; i < colours; ++i) {
        const Channels c = split(paletteColour(i, layout.bits));
        palette += static_cast<char>(c.blue);
        palette += static_cast<char>(c.green);
        palette += static_cast<char>(c.red);
        if (entrySize == 4)
            palette += '\0';
    }
    const long long offset = 14 + info.size() + palette.size();
    std::string file = "BM";
    put32(file, offset + static_cast<long long>(pixels.size()));
    put32(file, 0);
    put32(file, offset);
    return file + info + palette + pixels;
}

const std::vector<NamedLayout> &everyLayout() {
    static const std::vector<NamedLayout> layouts = {
        {"palette1", {9, 5, 1}},           {"palette4", {7, 3, 4}},
        {"palette8", {5, 4, 8}},           {"rgb555", {6, 3, 16}},
        {"rgb24", {5, 3, 24}},             {"rgb32", {4, 4, 32}},
        {"topdown", {5, 3, 24, 40, true}}, {"os2", {5, 3, 24, 12}},
        {"v4", {5, 3, 24, 108}},           {"v5", {5, 3, 8, 124}},
        {"rle8", {6, 4, 8, 40, false, 1}}, {"rle4", {7, 4, 4, 40, false, 2}},
    };
    return layouts;
}

Image randomImage(int width, int height, unsigned seed, bool grey) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    Image image(width, height);
    for (auto &p : image.pixels) {
        const int r = byte(gen);
        p = grey ? rgb(r, r, r) : rgb(r, byte(gen), byte(gen));
    }
    return image;
}

} // namespace ombrel::test
