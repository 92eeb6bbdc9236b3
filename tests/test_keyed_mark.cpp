// SPDX-License-Identifier: Apache-2.0
#include "imaging/quality.h"
#include "imaging/sample_images.h"
#include "stego/embedding.h"
#include "stego/extraction.h"
#include "stego/keyed_mark.h"
#include "stego/verify.h"
#include "support/bmp_builder.h"

#include "support/block_sets.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>
#include <bit>
#include <functional>
#include <random>
#include <set>
#include <utility>

namespace ombrel {
namespace {

using test::BlockSet;

MarkKey keyOf(const std::string &id, unsigned char first = 1, std::size_t bytes = 32) {
    MarkKey key{SecretBytes(bytes), id};
    for (std::size_t i = 0; i < bytes; ++i)
        key.secret[i] = static_cast<std::uint8_t>(first + 37 * i);
    return key;
}

// The keystream written the long way: the message byte by byte and bit by
// bit, one call to libsodium, the output read bit by bit. The carried bits
// come from the mark's own masks, found by embedding, not from the layout.
std::array<ColourWord, 64> plainKeystream(const Image &image, const MarkBits &mark, const MarkKey &key,
                                          int bx, int by) {
    const auto carried = [&](int x, int y) { return mark.mask()[static_cast<std::size_t>(y) * 1024 + x]; };
    std::vector<unsigned char> secret(key.secret.begin(), key.secret.end());
    if (secret.size() > 64) {
        std::vector<unsigned char> digest(64);
        crypto_generichash(digest.data(), 64, secret.data(), secret.size(), nullptr, 0);
        secret = digest;
    }
    std::vector<unsigned char> naming;
    for (const char c : std::string("ombrel keyed mark 1"))
        naming.push_back(static_cast<unsigned char>(c));
    for (int i = 0; i < 8; ++i)
        naming.push_back(static_cast<unsigned char>(key.id.size() >> (8 * i)));
    for (const char c : key.id)
        naming.push_back(static_cast<unsigned char>(c));
    unsigned char imageKey[32];
    crypto_generichash(imageKey, 32, naming.data(), naming.size(), secret.data(), secret.size());

    std::vector<unsigned char> message(imageKey, imageKey + 32);
    for (const int v : {bx, by}) {
        message.push_back(static_cast<unsigned char>(v % 256));
        message.push_back(static_cast<unsigned char>(v / 256));
    }
    // The top corners belong to block columns 12 and 119 of block rows 0..15.
    const int left = by < 16 && bx == 12 ? 0 : 8 * bx;
    const int right = by < 16 && bx == 119 ? 1023 : 8 * bx + 7;
    for (int y = 8 * by; y < 8 * by + 8; ++y)
        for (int x = left; x <= right; ++x)
            for (int channel = 0; channel < 3; ++channel) {
                int byte = 0;
                for (int b = 0; b < 8; ++b) {
                    const int bit = 8 * channel + b;
                    if (!((carried(x, y) >> bit) & 1))
                        byte |= ((image.at(x, y) >> bit) & 1) << b;
                }
                message.push_back(static_cast<unsigned char>(byte));
            }
    unsigned char out[48];
    crypto_generichash(out, sizeof out, message.data(), message.size(), nullptr, 0);
    std::array<ColourWord, 64> words{};
    for (int k = 0; k < 64; ++k)
        for (int channel = 0; channel < 3; ++channel)
            for (int b = 0; b < 2; ++b) {
                const int i = 6 * k + 2 * channel + b;
                const int bit = 8 * channel + b;
                const int x = 8 * bx + k % 8, y = 8 * by + k / 8;
                if ((carried(x, y) >> bit) & 1)
                    words[k] |= ((out[i / 8] >> (i % 8)) & 1) << bit;
            }
    return words;
}

// The carrying blocks the verification should flag after a change: every
// 8 x 8 block with a changed pixel, a top-corner block counting as the
// carrying block it is hashed with.
BlockSet changedBlocks(const Image &before, const Image &after) {
    BlockSet blocks;
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 1024; ++x)
            if (before.at(x, y) != after.at(x, y)) {
                int bx = x / 8;
                const int by = y / 8;
                if (by < 16)
                    bx = std::clamp(bx, 12, 119);
                blocks.insert({bx, by});
            }
    return blocks;
}

BlockSet flagged(const MarkReport &r) {
    return test::blocksWhere([&](int bx, int by) { return r.blockAltered(bx, by); });
}

class KeyedMark : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        cover = new Image(test::randomImage(1024, 768, 11));
        otherCover = new Image(test::randomImage(1024, 768, 12));
        watermark = new Surface(surfaceOf(sampleWatermark()));
        mark = new MarkBits(*watermark, 0);
        key = new Keystream(keyOf("holiday-042.bmp"));
        keyless = new Image(embed(surfaceOf(*cover), *watermark, 0).watermarked.image());
        keyed = new Image(embed(surfaceOf(*cover), *watermark, 0, {}, key).watermarked.image());
    }
    static void TearDownTestSuite() {
        delete cover;
        delete otherCover;
        delete watermark;
        delete mark;
        delete key;
        delete keyless;
        delete keyed;
    }
    static MarkReport check(const Image &image) { return verifyMark(image, *mark, key); }

    static Image *cover, *otherCover, *keyless, *keyed;
    static Surface *watermark;
    static MarkBits *mark;
    static Keystream *key;
};
Image *KeyedMark::cover, *KeyedMark::otherCover, *KeyedMark::keyless, *KeyedMark::keyed;
Surface *KeyedMark::watermark;
MarkBits *KeyedMark::mark;
Keystream *KeyedMark::key;

TEST(KeyedLayout, CarriedBitsAreThoseTheEmbeddingWrites) {
    const MarkBits mark(surfaceOf(sampleWatermark()), 0);
    for (int y = 0; y < 768; ++y)
        ASSERT_TRUE(std::equal(carriedBitsRow(y), carriedBitsRow(y) + 1024, mark.mask().begin() + y * 1024))
            << "row " << y;
}

// The top corners, 96 x 128 and 64 x 128 pixels, carry nothing: 12 and 8
// blocks in each of block rows 0..15. Every other block carries 36 bits at
// the least (block 0 of rows 641..647: three pixels in each odd row).
TEST(KeyedLayout, TheTopCornersFoldIntoTheNearestCarryingBlock) {
    const MarkBits mark(surfaceOf(sampleWatermark()), 0);
    int empty = 0, fewest = 1000;
    for (int by = 0; by < 96; ++by)
        for (int bx = 0; bx < 128; ++bx) {
            const bool corner = by < 16 && (bx < 12 || bx > 119);
            int bits = 0;
            for (int y = 8 * by; y < 8 * by + 8; ++y)
                for (int x = 8 * bx; x < 8 * bx + 8; ++x)
                    bits += std::popcount(static_cast<std::uint32_t>(mark.mask()[y * 1024 + x]));
            EXPECT_EQ(blockCarries(bx, by), !corner) << bx << ", " << by;
            EXPECT_EQ(bits == 0, corner) << bx << ", " << by;
            if (corner)
                ++empty;
            else
                fewest = std::min(fewest, bits);
            const int into = corner ? (bx < 12 ? 12 : 119) : bx;
            EXPECT_EQ(foldedInto(bx, by), into) << bx << ", " << by;
        }
    EXPECT_EQ(empty, 320);
    EXPECT_EQ(fewest, 36);
    EXPECT_EQ(blockSpan(12, 3).first, 0);
    EXPECT_EQ(blockSpan(12, 3).last, 103);
    EXPECT_EQ(blockSpan(119, 15).first, 952);
    EXPECT_EQ(blockSpan(119, 15).last, 1023);
    EXPECT_EQ(blockSpan(12, 16).first, 96);
    EXPECT_EQ(blockSpan(0, 16).last, 7);
}

TEST(KeyedLayout, AKeyHasSixteenBytesAtLeast) {
    EXPECT_EQ(checkKey(keyOf("", 1, 0)), KeyVerdict::TooShort);
    EXPECT_EQ(checkKey(keyOf("", 1, 15)), KeyVerdict::TooShort);
    EXPECT_EQ(checkKey(keyOf("", 1, 16)), KeyVerdict::Usable);
    EXPECT_EQ(checkKey(keyOf("", 1, 200)), KeyVerdict::Usable);
}

// The core's keystream against the plain one, on blocks of every kind: both
// corner-folded blocks, the approximation rows, the right-hand and the
// lower-left details, the edges; with short, long and empty ids and keys of
// 16, 64 and more bytes.
TEST_F(KeyedMark, TheKeystreamIsTheHashOfIdPositionAndUncarriedBits) {
    struct Case {
        const char *name;
        MarkKey key;
        int bx, by;
    };
    const Case cases[] = {
        {"left corner fold", keyOf("a"), 12, 0},
        {"right corner fold", keyOf("a"), 119, 15},
        {"approximation", keyOf("serial 7"), 60, 5},
        {"approximation, first full row", keyOf(""), 12, 16},
        {"right-hand details", keyOf("x", 9, 16), 0, 40},
        {"right-hand details, both halves", keyOf("x", 9, 64), 50, 79},
        {"lower-left details", keyOf(std::string(300, 'i'), 3, 65), 0, 80},
        {"last block", keyOf("z", 5, 200), 127, 95},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Keystream core(c.key);
        EXPECT_EQ(core.block(*cover, c.bx, c.by), plainKeystream(*cover, *mark, c.key, c.bx, c.by));
    }
}

TEST_F(KeyedMark, ItWritesTheKeylessBitsXorTheKeystream) {
    // The same pixels and bits change; the keyless mark's bits come back
    // when the keystream is undone.
    std::size_t differ = 0;
    for (std::size_t i = 0; i < keyed->pixels.size(); ++i) {
        ASSERT_EQ((keyed->pixels[i] ^ keyless->pixels[i]) & ~mark->mask()[i], 0) << i;
        differ += keyed->pixels[i] != keyless->pixels[i];
    }
    EXPECT_GT(differ, 200000u);
    const auto words = key->block(*keyed, 70, 50);
    for (int k = 0; k < 64; ++k)
        EXPECT_EQ(keyed->at(560 + k % 8, 400 + k / 8), keyless->at(560 + k % 8, 400 + k / 8) ^ words[k]);
}

// Every block, both halves of the image (hashed on two threads): each
// carried bit is the keyless one XOR the block's keystream word.
TEST_F(KeyedMark, EveryBlockIsKeyedWithItsOwnKeystream) {
    for (int by = 0; by < 96; ++by)
        for (int bx = 0; bx < 128; ++bx) {
            if (!blockCarries(bx, by))
                continue;
            const auto words = key->block(*keyless, bx, by);
            for (int k = 0; k < 64; ++k) {
                const int x = 8 * bx + k % 8, y = 8 * by + k / 8;
                ASSERT_EQ(keyed->at(x, y), keyless->at(x, y) ^ words[k]) << bx << ", " << by << ", " << k;
            }
        }
}

// The hashes as they are handed over, whichever thread took them, are each
// row's own; a copy unkeyed with the image's hashes is the keyless mark; and
// the hashes may be let go before they start or half-way, without waiting on
// rows nobody asks for.
TEST_F(KeyedMark, BlockHashesHandEveryRowOverAndCanBeLetGo) {
    {
        BlockHashes hashes(*key, *keyed);
        for (int by = 0; by < 96; ++by) {
            Keystream::RowHashes own;
            key->hashRow(*keyed, by, own);
            const Keystream::RowHashes &given = hashes.row(by);
            for (int bx = 0; bx < 128; ++bx)
                if (blockCarries(bx, by))
                    ASSERT_EQ(given[bx], own[bx]) << bx << ", " << by;
        }
    }
    {
        Image copy = *keyed;
        BlockHashes hashes(*key, *keyed);
        hashes.applyTo(copy);
        EXPECT_TRUE(copy == *keyless);
    }
    { const BlockHashes neverStarted(*key); }
    {
        BlockHashes halfWay(*key, *keyed);
        for (int by = 0; by < 10; ++by)
            halfWay.row(by);
    }
}

TEST_F(KeyedMark, ExtractionWithTheKeyGivesTheKeylessWatermark) {
    EXPECT_EQ(extract(surfaceOf(*keyed), {}, key).image(), extract(surfaceOf(*keyless)).image());
    EXPECT_TRUE(check(*keyed).intact());
    EXPECT_TRUE(verifyMark(*keyless, *mark).intact());
}

// Without the key, with another key or with another id, the bits are noise:
// about half of them differ, nearly every block is altered, and the
// extracted watermark is far from the one the key gives.
TEST_F(KeyedMark, WithoutTheKeyOrIdEverythingIsNoise) {
    const double keyedNc = compareImages(watermark->image(), extract(surfaceOf(*keyed), {}, key).image())->nc;
    const Keystream otherKey(keyOf("holiday-042.bmp", 2));
    const Keystream otherId(keyOf("holiday-043.bmp"));
    struct Case {
        const char *name;
        const Keystream *key;
    };
    for (const Case &c : {Case{"no key", nullptr}, Case{"another key", &otherKey}, Case{"another id", &otherId}}) {
        SCOPED_TRACE(c.name);
        const MarkReport r = verifyMark(*keyed, *mark, c.key);
        EXPECT_GT(r.differingShare(), 0.45);
        EXPECT_LT(r.differingShare(), 0.55);
        EXPECT_GT(r.blocksAltered, r.blocksChecked * 999 / 1000);
        const double nc = compareImages(watermark->image(), extract(surfaceOf(*keyed), {}, c.key).image())->nc;
        EXPECT_LT(nc, keyedNc - 0.1);
    }
    EXPECT_GT(keyedNc, 0.95);
}

Image filled(const Image &image, int left, int top, int right, int bottom, const std::function<ColourWord()> &colour) {
    Image out = image;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            out.at(x, y) = colour();
    return out;
}

Image pasted(const Image &into, const Image &from, int left, int top, int right, int bottom, int dx, int dy) {
    Image out = into;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            out.at(x + dx, y + dy) = from.at(x, y);
    return out;
}

// Every changed carrying block is flagged, and nothing else.
TEST_F(KeyedMark, TamperingFlagsExactlyTheChangedBlocks) {
    std::mt19937 gen(3);
    std::uniform_int_distribution<ColourWord> anyColour(0, 0xFFFFFF);
    const auto black = [] { return ColourWord{0}; };
    const auto noise = [&] { return anyColour(gen); };
    Image sameId = embed(surfaceOf(*otherCover), *watermark, 0, {}, key).watermarked.image();
    const Keystream otherId(keyOf("holiday-043.bmp"));
    Image collageSource = embed(surfaceOf(*otherCover), *watermark, 0, {}, &otherId).watermarked.image();
    struct Case {
        const char *name;
        Image tampered;
    };
    const Case cases[] = {
        {"fill black", filled(*keyed, 301, 203, 420, 262, black)},
        {"fill black in a corner", filled(*keyed, 3, 5, 60, 90, black)},
        {"fill black across the image", filled(*keyed, 0, 0, 1023, 767, black)},
        {"fill random", filled(*keyed, 700, 500, 777, 600, noise)},
        {"copy-move", pasted(*keyed, *keyed, 600, 400, 700, 480, -501, -97)},
        {"block moved", pasted(*keyed, *keyed, 400, 400, 407, 407, 160, 80)},
        {"block moved within its row", pasted(*keyed, *keyed, 400, 400, 407, 407, 8, 0)},
        {"collage, another id", pasted(*keyed, collageSource, 256, 320, 511, 447, 0, 0)},
        {"collage, another id, moved", pasted(*keyed, collageSource, 256, 320, 511, 447, 16, -8)},
        {"collage, another id, a corner", pasted(*keyed, collageSource, 0, 0, 95, 127, 0, 0)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const BlockSet truth = changedBlocks(*keyed, c.tampered);
        ASSERT_FALSE(truth.empty());
        EXPECT_EQ(flagged(check(c.tampered)), truth);
    }
    // Same key, same id, same place: a region from another image is
    // consistent with itself. Only its own id gives such a collage away.
    EXPECT_TRUE(check(pasted(*keyed, sameId, 256, 320, 511, 447, 0, 0)).intact());
}

// A flat watermark has no details: every detail pixel carries 0, so a block
// moved among them brings the very bits its new place expects. Only the
// position in the hash gives it away.
TEST_F(KeyedMark, AMovedBlockShowsWhereTheMarkRepeats) {
    const Surface flat(512, 512, rgb(128, 128, 128));
    const MarkBits flatMark(flat, 0);
    const Image plain = embed(surfaceOf(*cover), flat, 0).watermarked.image();
    EXPECT_TRUE(verifyMark(pasted(plain, plain, 320, 160, 327, 167, 160, 80), flatMark).intact())
        << "a keyless mark cannot see this move";
    const Image sealed = embed(surfaceOf(*cover), flat, 0, {}, key).watermarked.image();
    const Image moved = pasted(sealed, sealed, 320, 160, 327, 167, 160, 80);
    EXPECT_EQ(flagged(verifyMark(moved, flatMark, key)), (BlockSet{{60, 30}}));
}

// One changed bit anywhere shows, in the block that carries it or the
// carrying block its corner is hashed with.
TEST_F(KeyedMark, OneChangedBitAnywhereShows) {
    struct Case {
        const char *name;
        int x, y;
        ColourWord flip;
        int bx, by; // the block flagged
    };
    const Case cases[] = {
        {"a carried approximation bit", 101, 1, 0x000002, 12, 0},
        {"a carried detail bit", 401, 301, 0x000001, 50, 37},
        {"bit 1 beside a carried bit 0", 401, 301, 0x000002, 50, 37},
        {"a pixel that carries nothing", 402, 301, 0x100000, 50, 37},
        {"row 0", 500, 0, 0x000100, 62, 0},
        {"column 0", 0, 300, 0x800000, 0, 37},
        {"the top-left corner", 0, 0, 0x000001, 12, 0},
        {"inside the left corner", 95, 127, 0x010000, 12, 15},
        {"inside the right corner", 1023, 64, 0x000080, 119, 8},
        {"the last pixel", 1023, 767, 0x000001, 127, 95},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Image tampered = *keyed;
        tampered.at(c.x, c.y) ^= c.flip;
        EXPECT_EQ(flagged(check(tampered)), (BlockSet{{c.bx, c.by}}));
    }
}

} // namespace
} // namespace ombrel
