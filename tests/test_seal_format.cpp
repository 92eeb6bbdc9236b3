// SPDX-License-Identifier: Apache-2.0
// The seal's section of docs/keyed-format.md against the code: its vectors
// are recomputed, and a seal made from the page's words alone (its image key,
// its units, its messages, its bit order, its carrying channels) must be the
// code's, sample for sample.

#include "stego/keyed_mark.h"
#include "stego/seal.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace ombrel {
namespace {

using Bytes = std::vector<unsigned char>;

const std::string kSource = OMBREL_SOURCE_DIR;

std::string hexOf(const unsigned char *data, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < size; ++i) {
        hex += digits[data[i] >> 4];
        hex += digits[data[i] & 15];
    }
    return hex;
}
template <class Container>
std::string hexOf(const Container &c) {
    return hexOf(reinterpret_cast<const unsigned char *>(c.data()), c.size());
}

// The page's seal vectors: every line "name: hex" of its seal section.
std::map<std::string, std::string> documentedVectors() {
    std::ifstream in(kSource + "/docs/keyed-format.md", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string page = text.str();
    const auto start = page.find("\n## The seal\n");
    if (start == std::string::npos)
        return {};
    const auto end = page.find("\n## ", start + 1);
    std::istringstream section(page.substr(start, end == std::string::npos ? std::string::npos : end - start));
    static const std::regex vector(R"(^([a-z0-9][a-z0-9 (),-]*): ([0-9a-f]+)$)");
    std::map<std::string, std::string> vectors;
    for (std::string line; std::getline(section, line);)
        if (std::smatch m; std::regex_match(line, m, vector)) {
            EXPECT_TRUE(vectors.emplace(m[1], m[2]).second) << "\"" << m[1] << "\" is given twice";
        }
    return vectors;
}

// The inputs, as the page states them.
Bytes rangeOf(int count) {
    Bytes b(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        b[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i);
    return b;
}
const Bytes kKey = rangeOf(32); // 00 01 .. 1f
const std::string kId = "photo-001";

// A vector's picture: sample i in reading order is (37i + 11) mod 256, or
// (40503i + 12345) mod 65536 at 16 bits.
struct Picture {
    int width, height, channels, bitDepth;
    std::vector<unsigned> samples;

    Picture(int w, int h, int c, int depth) : width(w), height(h), channels(c), bitDepth(depth) {
        samples.resize(static_cast<std::size_t>(w) * h * c);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = depth == 16 ? (40503u * i + 12345u) & 0xffff : (37u * i + 11u) & 0xff;
    }
    unsigned &at(int x, int y, int c) {
        return samples[(static_cast<std::size_t>(y) * width + x) * channels + static_cast<std::size_t>(c)];
    }
    // The samples as the page's digest reads them: 16-bit ones little-endian.
    Bytes bytes() const {
        Bytes b;
        for (const unsigned s : samples) {
            b.push_back(static_cast<unsigned char>(s));
            if (bitDepth == 16)
                b.push_back(static_cast<unsigned char>(s >> 8));
        }
        return b;
    }
};

// The code's seal of a picture.
Picture sealedByCode(Picture p) {
    std::vector<std::uint8_t> narrow;
    std::vector<std::uint16_t> wide;
    void *samples;
    if (p.bitDepth == 16) {
        wide.assign(p.samples.begin(), p.samples.end());
        samples = wide.data();
    } else {
        narrow.assign(p.samples.begin(), p.samples.end());
        samples = narrow.data();
    }
    const SealPixels view{p.width, p.height, p.channels, p.bitDepth, std::ptrdiff_t(p.width) * p.channels, samples};
    sealPicture(view, kKey, kId);
    for (std::size_t i = 0; i < p.samples.size(); ++i)
        p.samples[i] = p.bitDepth == 16 ? wide[i] : narrow[i];
    return p;
}

void putLittleEndian(Bytes &b, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// The page's image key, from its table.
Bytes documentedImageKey(const Picture &p) {
    Bytes message;
    for (const char c : std::string("ombrel seal 1"))
        message.push_back(static_cast<unsigned char>(c));
    putLittleEndian(message, kId.size(), 8);
    message.insert(message.end(), kId.begin(), kId.end());
    putLittleEndian(message, static_cast<std::uint32_t>(p.width), 4);
    putLittleEndian(message, static_cast<std::uint32_t>(p.height), 4);
    message.push_back(static_cast<unsigned char>(p.channels));
    message.push_back(static_cast<unsigned char>(p.bitDepth));
    Bytes key(32);
    crypto_generichash(key.data(), key.size(), message.data(), message.size(), kKey.data(), kKey.size());
    return key;
}

// The page's units along a side of n pixels: [start, length] of each.
std::vector<std::pair<int, int>> documentedUnits(int n) {
    if (n < 8)
        return {{0, n}};
    std::vector<std::pair<int, int>> units;
    for (int start = 0; start + 8 <= n; start += 8)
        units.emplace_back(start, 8);
    units.back().second += n % 8;
    return units;
}

int carrier(const Picture &p, int x, int y) {
    const int colour = p.channels == 2 || p.channels == 4 ? p.channels - 1 : p.channels;
    return (x + y) % colour;
}

// A unit's tag as the page makes it.
Bytes documentedTag(const Picture &p, int ux, int uy) {
    const auto across = documentedUnits(p.width), down = documentedUnits(p.height);
    const auto [left, width] = across[static_cast<std::size_t>(ux)];
    const auto [top, height] = down[static_cast<std::size_t>(uy)];
    Bytes message = documentedImageKey(p);
    putLittleEndian(message, static_cast<std::uint32_t>(ux), 4);
    putLittleEndian(message, static_cast<std::uint32_t>(uy), 4);
    Picture copy = p;
    for (int y = top; y < top + height; ++y)
        for (int x = left; x < left + width; ++x)
            for (int c = 0; c < p.channels; ++c) {
                const unsigned s = copy.at(x, y, c) & (c == carrier(p, x, y) ? ~1u : ~0u);
                putLittleEndian(message, s, p.bitDepth / 8);
            }
    const int pixels = width * height;
    Bytes tag(static_cast<std::size_t>(std::max(16, (pixels + 7) / 8)));
    crypto_generichash(tag.data(), tag.size(), message.data(), message.size(), nullptr, 0);
    return tag;
}

// The whole seal as the page makes it.
Picture documentedSeal(Picture p) {
    const auto across = documentedUnits(p.width), down = documentedUnits(p.height);
    for (std::size_t uy = 0; uy < down.size(); ++uy)
        for (std::size_t ux = 0; ux < across.size(); ++ux) {
            const Bytes tag = documentedTag(p, static_cast<int>(ux), static_cast<int>(uy));
            int k = 0;
            for (int y = down[uy].first; y < down[uy].first + down[uy].second; ++y)
                for (int x = across[ux].first; x < across[ux].first + across[ux].second; ++x, ++k) {
                    unsigned &s = p.at(x, y, carrier(p, x, y));
                    s = (s & ~1u) | ((tag[static_cast<std::size_t>(k / 8)] >> (k % 8)) & 1u);
                }
        }
    return p;
}

std::string sha256Hex(const Bytes &bytes) {
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, bytes.data(), bytes.size());
    return hexOf(digest, sizeof digest);
}

struct Vector {
    const char *name;
    std::function<std::string()> computed;
};

const Picture kGrey(1, 1, 1, 8), kRgb(9, 17, 3, 8), kRgba(16, 16, 4, 16), kGreyAlpha(7, 5, 2, 16), kWhole(15, 15, 3, 8);

const std::vector<Vector> &vectors() {
    static const std::vector<Vector> rows = {
        {"seal key", [] { return hexOf(kKey); }},
        {"seal id", [] { return hexOf(kId); }},
        {"1x1 grey 8-bit image key", [] { return hexOf(documentedImageKey(kGrey)); }},
        {"1x1 grey 8-bit sealed samples", [] { return hexOf(sealedByCode(kGrey).bytes()); }},
        {"9x17 rgb 8-bit image key", [] { return hexOf(documentedImageKey(kRgb)); }},
        {"9x17 rgb 8-bit tag (0, 1)", [] { return hexOf(documentedTag(kRgb, 0, 1)); }},
        {"9x17 rgb 8-bit sealed sha256", [] { return sha256Hex(sealedByCode(kRgb).bytes()); }},
        {"16x16 rgba 16-bit image key", [] { return hexOf(documentedImageKey(kRgba)); }},
        {"16x16 rgba 16-bit tag (1, 0)", [] { return hexOf(documentedTag(kRgba, 1, 0)); }},
        {"16x16 rgba 16-bit sealed sha256", [] { return sha256Hex(sealedByCode(kRgba).bytes()); }},
        {"15x15 rgb 8-bit tag (0, 0)", [] { return hexOf(documentedTag(kWhole, 0, 0)); }},
        {"7x5 grey-alpha 16-bit tag (0, 0)", [] { return hexOf(documentedTag(kGreyAlpha, 0, 0)); }},
        {"7x5 grey-alpha 16-bit sealed sha256", [] { return sha256Hex(sealedByCode(kGreyAlpha).bytes()); }},
    };
    return rows;
}

TEST(SealFormatPage, GivesEveryVectorAndNoOther) {
    std::set<std::string> expected, given;
    for (const Vector &v : vectors())
        expected.insert(v.name);
    for (const auto &[name, hex] : documentedVectors())
        given.insert(name);
    EXPECT_EQ(given, expected);
}

TEST(SealFormatPage, EveryVectorIsWhatTheCodeComputes) {
    ASSERT_EQ(sodium_init() < 0, false);
    const auto documented = documentedVectors();
    for (const Vector &v : vectors()) {
        SCOPED_TRACE(v.name);
        const auto it = documented.find(v.name);
        ASSERT_NE(it, documented.end());
        EXPECT_EQ(it->second, v.computed());
    }
}

TEST(SealFormatPage, ASealFromItsWordsIsTheCodes) {
    ASSERT_EQ(sodium_init() < 0, false);
    struct Shape {
        int width, height, channels, bitDepth;
    };
    // Edge remainders, one-unit pictures, every channel count and depth.
    for (const Shape s : {Shape{1, 1, 1, 8}, Shape{9, 17, 3, 8}, Shape{16, 16, 4, 16}, Shape{7, 5, 2, 16},
                          Shape{23, 31, 3, 16}, Shape{15, 8, 4, 8}, Shape{40, 3, 2, 8}, Shape{3, 40, 1, 16}}) {
        SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height) + " " + std::to_string(s.channels) +
                     " channels " + std::to_string(s.bitDepth) + "-bit");
        const Picture p(s.width, s.height, s.channels, s.bitDepth);
        EXPECT_EQ(sealedByCode(p).samples, documentedSeal(p).samples);
    }
}

} // namespace
} // namespace ombrel
