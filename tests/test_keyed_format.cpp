// SPDX-License-Identifier: Apache-2.0
// docs/keyed-format.md against the code: its test vectors are recomputed
// here, and its description of the carried bits and of the keystream is
// followed literally, so neither the page nor the format can change alone.

#include "imaging/picture_in.h"
#include "stego/embedding.h"
#include "stego/keyed_mark.h"
#include "stego/layout.h"

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

std::string readText(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The page's vectors: every line "name: hex" of its "Test vectors" section.
std::map<std::string, std::string> documentedVectors() {
    const std::string page = readText(kSource + "/docs/keyed-format.md");
    const auto start = page.find("\n## Test vectors\n");
    if (start == std::string::npos)
        return {};
    const auto end = page.find("\n## ", start + 1);
    std::istringstream section(page.substr(start, end == std::string::npos ? std::string::npos : end - start));
    static const std::regex vector(R"(^([a-z][a-z0-9 (),]*): ([0-9a-f]+)$)");
    std::map<std::string, std::string> vectors;
    for (std::string line; std::getline(section, line);)
        if (std::smatch m; std::regex_match(line, m, vector)) {
            EXPECT_TRUE(vectors.emplace(m[1], m[2]).second) << "\"" << m[1] << "\" is given twice";
        }
    return vectors;
}

// The inputs, written out here as the page states them.
Bytes rangeOf(int count) {
    Bytes b(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        b[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i);
    return b;
}
const Bytes kKey = rangeOf(32);      // 00 01 .. 1f
const Bytes kLongKey = rangeOf(100); // 00 01 .. 63: pre-hashed, being over 64 bytes
const std::string kId = "cover-001";
const std::string kPassphrase = "correct horse battery staple";

const Image &sealedSample() {
    static const Image sealed = [] {
        const LoadedPicture cover = loadPicture(kSource + "/samples/cover.bmp");
        const LoadedPicture watermark = loadPicture(kSource + "/samples/watermark.bmp");
        EXPECT_TRUE(cover.ok() && watermark.ok());
        const Keystream key(kKey, kId);
        return embed(surfaceOf(*cover), surfaceOf(*watermark), 0, {}, &key).watermarked.image();
    }();
    return sealed;
}

std::string blockHex(int bx, int by) {
    const Keystream key(kKey, kId);
    static Keystream::RowHashes row; // 6 KiB, kept off the stack
    key.hashRow(sealedSample(), by, row);
    return hexOf(row[static_cast<std::size_t>(bx)]);
}

// Pixel data as the page defines it: rows top down, red, green, blue.
Bytes pixelBytes(const Image &image) {
    Bytes bytes;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            for (int shift : {0, 8, 16})
                bytes.push_back(static_cast<unsigned char>(image.at(x, y) >> shift));
    return bytes;
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

const std::vector<Vector> &vectors() {
    static const std::vector<Vector> rows = {
        {"key", [] { return hexOf(kKey); }},
        {"id", [] { return hexOf(kId); }},
        {"image key", [] { return hexOf(imageKey(kKey, kId)); }},
        {"long key", [] { return hexOf(kLongKey); }},
        {"long key image key", [] { return hexOf(imageKey(kLongKey, kId)); }},
        {"keystream block (12, 5)", [] { return blockHex(12, 5); }},
        {"keystream block (64, 10)", [] { return blockHex(64, 10); }},
        {"keystream block (70, 60)", [] { return blockHex(70, 60); }},
        {"sealed pixels sha256", [] { return sha256Hex(pixelBytes(sealedSample())); }},
        {"passphrase", [] { return hexOf(kPassphrase); }},
        {"passphrase key",
         [] {
             const Bytes phrase(kPassphrase.begin(), kPassphrase.end());
             return hexOf(keyFromPassphrase(phrase));
         }},
    };
    return rows;
}

TEST(KeyedFormatPage, GivesEveryVectorAndNoOther) {
    std::set<std::string> expected, given;
    for (const Vector &v : vectors())
        expected.insert(v.name);
    for (const auto &[name, hex] : documentedVectors())
        given.insert(name);
    EXPECT_EQ(given, expected);
}

TEST(KeyedFormatPage, EveryVectorIsWhatTheCodeComputes) {
    ASSERT_EQ(sodium_init() < 0, false);
    const auto documented = documentedVectors();
    for (const Vector &v : vectors()) {
        SCOPED_TRACE(v.name);
        const auto it = documented.find(v.name);
        ASSERT_NE(it, documented.end());
        EXPECT_EQ(it->second, v.computed());
    }
}

// The carried bits as the page's table gives them, row by row.
std::vector<ColourWord> documentedCarriedRow(int y) {
    std::vector<ColourWord> row(1024, 0);
    if (y == 0)
        return row;
    if (y <= 128) {
        const int c = y % 2 ? 101 : 103;
        for (int g = 1; g <= 43; ++g)
            for (int k = 0; k < 4; ++k)
                row[static_cast<std::size_t>(c + 20 * (g - 1) + 5 * k)] = 0x030303;
        return row;
    }
    // The lower details sit one column to the right of the right details;
    // the last of an even row would be column 1024.
    const bool lower = y > 640;
    const int t = lower ? y - 640 : y - 128;
    const int first = (t % 2 ? 1 : 256) + (lower ? 2 : 0);
    for (int x = first, n = 0; n < 384 && x < 1024; x += 2, ++n)
        row[static_cast<std::size_t>(x)] = 0x010101;
    return row;
}

TEST(KeyedFormatPage, ItsCarriedBitsAreTheLayouts) {
    for (int y = 0; y < 768; ++y) {
        const std::vector<ColourWord> documented = documentedCarriedRow(y);
        const ColourWord *layout = carriedBitsRow(y);
        ASSERT_EQ(documented, std::vector<ColourWord>(layout, layout + 1024)) << "row " << y;
    }
}

// A block's keystream words made by the page's words alone: its message,
// its bit order, the spans of the folded corners, the carried bits of its table.
std::array<ColourWord, 64> documentedKeystream(const Image &image, int bx, int by) {
    const auto key = imageKey(kKey, kId); // the image key itself is a vector above
    Bytes message(key.begin(), key.end());
    for (const int v : {bx, by}) {
        message.push_back(static_cast<unsigned char>(v & 255));
        message.push_back(static_cast<unsigned char>(v >> 8));
    }
    const int first = by <= 15 && bx == 12 ? 0 : 8 * bx;
    const int last = by <= 15 && bx == 119 ? 1023 : 8 * bx + 7;
    for (int y = 8 * by; y < 8 * by + 8; ++y) {
        const std::vector<ColourWord> carried = documentedCarriedRow(y);
        for (int x = first; x <= last; ++x)
            for (int shift : {0, 8, 16})
                message.push_back(
                    static_cast<unsigned char>((image.at(x, y) & ~carried[static_cast<std::size_t>(x)]) >> shift));
    }
    unsigned char out[48];
    crypto_generichash(out, sizeof out, message.data(), message.size(), nullptr, 0);
    std::array<ColourWord, 64> words{};
    for (int k = 0; k < 64; ++k) {
        const int x = 8 * bx + k % 8, y = 8 * by + k / 8;
        const ColourWord carried = documentedCarriedRow(y)[static_cast<std::size_t>(x)];
        // red bit 0, red bit 1, green bit 0, green bit 1, blue bit 0, blue bit 1
        const int into[6] = {0, 1, 8, 9, 16, 17};
        for (int j = 0; j < 6; ++j) {
            const int i = 6 * k + j;
            const ColourWord bit = static_cast<ColourWord>((out[i / 8] >> (i % 8)) & 1) << into[j];
            words[static_cast<std::size_t>(k)] |= bit & carried;
        }
    }
    return words;
}

TEST(KeyedFormatPage, ItsKeystreamIsTheCodes) {
    ASSERT_EQ(sodium_init() < 0, false);
    const Keystream key(kKey, kId);
    struct Block {
        const char *what;
        int bx, by;
    };
    for (const Block b : {Block{"left corner, top row", 12, 0}, Block{"left corner", 12, 5},
                          Block{"right corner", 119, 15}, Block{"approximation", 64, 10},
                          Block{"under the corners", 0, 16}, Block{"details", 70, 60},
                          Block{"lower details, odd rows to column 769", 96, 90},
                          Block{"lower details, last", 127, 95}}) {
        SCOPED_TRACE(b.what);
        EXPECT_EQ(documentedKeystream(sealedSample(), b.bx, b.by), key.block(sealedSample(), b.bx, b.by));
    }
}

} // namespace
} // namespace ombrel
