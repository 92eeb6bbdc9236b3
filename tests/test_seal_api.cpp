// SPDX-License-Identifier: Apache-2.0
// ombrel::seal and ombrel::check: the core's seal bit for bit, its report
// whole, and the refusals with their codes and words.

#include "api/ombrel.h"
#include "stego/seal.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace ombrel {
namespace {

const Key kKey{std::vector<std::uint8_t>(32, 7), "photo-9"};

template <class T>
std::vector<T> randomSamples(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<T> v(n);
    for (auto &s : v)
        s = static_cast<T>(random());
    return v;
}

struct Shape {
    int width, height, channels, bitDepth;
};

TEST(SealApi, SealsAndChecksAsTheCoreDoes) {
    for (const Shape s : {Shape{1, 1, 1, 8}, Shape{17, 9, 2, 8}, Shape{24, 23, 3, 8}, Shape{15, 40, 4, 8},
                          Shape{5, 30, 1, 16}, Shape{9, 9, 2, 16}, Shape{33, 16, 3, 16}, Shape{16, 17, 4, 16}}) {
        SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height) + " " + std::to_string(s.channels) +
                     " channels " + std::to_string(s.bitDepth) + "-bit");
        const std::size_t n = std::size_t(s.width) * s.height * s.channels;
        auto narrow = randomSamples<std::uint8_t>(n, 3);
        auto wide = randomSamples<std::uint16_t>(n, 3);
        const bool is16 = s.bitDepth == 16;
        const SampleView view = is16 ? SampleView(wide.data(), s.width, s.height, s.channels)
                                     : SampleView(narrow.data(), s.width, s.height, s.channels);
        const Samples sealed = seal(view, kKey);
        EXPECT_EQ(sealed.bitDepth, s.bitDepth);
        EXPECT_EQ(sealed.samples8.size(), is16 ? 0 : n);
        EXPECT_EQ(sealed.samples16.size(), is16 ? n : 0);

        // The core's seal of the same samples.
        auto coreNarrow = narrow;
        auto coreWide = wide;
        const SealPixels core{s.width, s.height, s.channels, s.bitDepth, std::ptrdiff_t(s.width) * s.channels,
                              is16 ? static_cast<void *>(coreWide.data()) : static_cast<void *>(coreNarrow.data())};
        sealPicture(core, kKey.secret, kKey.id, 1);
        EXPECT_EQ(sealed.samples8, is16 ? std::vector<std::uint8_t>{} : coreNarrow);
        EXPECT_EQ(sealed.samples16, is16 ? coreWide : std::vector<std::uint16_t>{});

        // In place, the same; the input of seal was left alone.
        if (is16) {
            sealInPlace({wide.data(), s.width, s.height, s.channels}, kKey, 2);
            EXPECT_EQ(wide, coreWide);
        } else {
            sealInPlace({narrow.data(), s.width, s.height, s.channels}, kKey, 2);
            EXPECT_EQ(narrow, coreNarrow);
        }

        const CheckReport intact = check(sealed.view(), kKey);
        EXPECT_TRUE(intact.intact);
        EXPECT_FALSE(intact.noUnitMatches);
        EXPECT_FALSE(intact.alteredBox);
        const SealUnits units = sealUnits(s.width, s.height);
        EXPECT_EQ(intact.unitsAcross, units.across);
        EXPECT_EQ(intact.unitsDown, units.down);
        EXPECT_EQ(intact.unitsChecked, units.count());
        EXPECT_EQ(intact.alteredUnits, std::vector<std::uint8_t>(std::size_t(units.count()), 0));

        // The last pixel's last sample (alpha where there is one), changed;
        // not in a 1 x 1 picture, whose one tag bit misses half the changes.
        if (s.width * s.height == 1)
            continue;
        Samples tampered = sealed;
        if (is16)
            tampered.samples16.back() ^= 0x8000;
        else
            tampered.samples8.back() ^= 0x80;
        const CheckReport altered = check(tampered.view(), kKey);
        const SealReport coreReport = checkSeal(
            {s.width, s.height, s.channels, s.bitDepth, std::ptrdiff_t(s.width) * s.channels,
             is16 ? static_cast<void *>(tampered.samples16.data()) : static_cast<void *>(tampered.samples8.data())},
            kKey.secret, kKey.id);
        EXPECT_FALSE(altered.intact);
        EXPECT_EQ(altered.unitsAltered, 1);
        EXPECT_EQ(altered.noUnitMatches, units.count() == 1);
        EXPECT_EQ(altered.alteredUnits, coreReport.altered);
        EXPECT_TRUE(altered.unitAltered(units.across - 1, units.down - 1));
        ASSERT_TRUE(altered.alteredBox);
        const CheckReport::Box last = altered.unitBox(units.across - 1, units.down - 1);
        EXPECT_EQ(last.right, s.width - 1);
        EXPECT_EQ(last.bottom, s.height - 1);
        EXPECT_EQ(last.left, units.left(units.across - 1));
        EXPECT_EQ(last.top, units.top(units.down - 1));
        EXPECT_EQ(altered.alteredBox->left, last.left);
        EXPECT_EQ(altered.alteredBox->top, last.top);
        EXPECT_EQ(altered.alteredBox->right, last.right);
        EXPECT_EQ(altered.alteredBox->bottom, last.bottom);

        const CheckReport otherId = check(sealed.view(), Key{kKey.secret, "photo-10"});
        EXPECT_TRUE(otherId.noUnitMatches);
        EXPECT_EQ(otherId.unitsAltered, otherId.unitsChecked);
    }
}

TEST(SealApi, TakesTheWatermarksPixelsAsTheyAre) {
    Pixels rgb(20, 10, 3);
    for (std::size_t i = 0; i < rgb.data.size(); ++i)
        rgb.data[i] = static_cast<std::uint8_t>(i * 7);
    const Samples sealed = seal(rgb, kKey);
    EXPECT_EQ(sealed.channels, 3);
    EXPECT_EQ(sealed.bitDepth, 8);
    EXPECT_TRUE(check(PixelView(sealed.samples8.data(), 20, 10, 3), kKey).intact);
}

TEST(SealApi, RefusesWithACodeAndTheWords) {
    std::vector<std::uint8_t> samples(64 * 4, 1);
    auto viewWith = [&](int width, int channels, int bitDepth, const void *data) {
        SampleView v(samples.data(), width, 8, channels);
        v.bitDepth = bitDepth;
        v.data = data;
        return v;
    };
    struct Row {
        const char *name;
        SampleView view;
        Key key;
        Error::Code code;
        const char *words;
    };
    const Row rows[] = {
        {"no channels", viewWith(8, 0, 8, samples.data()), kKey, Error::Code::BadChannels,
         "a picture to seal has 1 to 4 channels (grey, grey and alpha, red, green, blue, and alpha), not 0"},
        {"five channels", viewWith(8, 5, 8, samples.data()), kKey, Error::Code::BadChannels,
         "a picture to seal has 1 to 4 channels (grey, grey and alpha, red, green, blue, and alpha), not 5"},
        {"12 bits", viewWith(8, 3, 12, samples.data()), kKey, Error::Code::BadBitDepth,
         "a picture to seal has 8 or 16 bits a sample, not 12"},
        {"no width", viewWith(0, 3, 8, samples.data()), kKey, Error::Code::Empty, "the picture is empty"},
        {"no buffer", viewWith(8, 3, 8, nullptr), kKey, Error::Code::Empty, "the picture is empty"},
        {"short key", viewWith(8, 3, 8, samples.data()), Key{std::vector<std::uint8_t>(15, 1), "x"},
         Error::Code::KeyTooShort, "a key has at least 16 bytes, not 15"},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        for (int call = 0; call < 3; ++call) {
            try {
                if (call == 0)
                    seal(r.view, r.key);
                else if (call == 1)
                    check(r.view, r.key);
                else
                    sealInPlace({samples.data(), r.view.width, 8, r.view.channels}, r.key);
                if (call == 2 && (r.view.bitDepth != 8 || r.view.data == nullptr))
                    continue; // the span has neither fault
                ADD_FAILURE() << "call " << call << " took it";
            } catch (const Error &e) {
                EXPECT_EQ(e.code(), r.code) << "call " << call;
                EXPECT_STREQ(e.what(), r.words) << "call " << call;
            }
        }
    }
    EXPECT_STREQ(codeName(Error::Code::BadBitDepth), "BadBitDepth");
}

} // namespace
} // namespace ombrel
