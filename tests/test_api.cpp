// SPDX-License-Identifier: Apache-2.0
#include "api/ombrel.h"
#include "imaging/sample_images.h"
#include "support/bmp_builder.h"
#include "support/pixels.h"
#include "support/reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace ombrel {
namespace {

using test::bytesOf;

Pixels filled(int width, int height, int channels, std::uint8_t level) {
    Pixels p(width, height, channels);
    std::fill(p.data.begin(), p.data.end(), level);
    return p;
}

TEST(Api, EmbedAndExtractFollowTheReferenceBitForBit) {
    const Image cover = test::randomImage(1024, 768, 7);
    const Image watermark = sampleWatermark();
    const test::ReferenceEmbed ref = test::referenceEmbed(cover, watermark, 3);

    const Embedded marked = embed(bytesOf(cover, 3), bytesOf(watermark, 1), 3);
    EXPECT_TRUE(marked.image == bytesOf(ref.watermarked, 3));
    EXPECT_TRUE(mark(bytesOf(cover, 3), bytesOf(watermark, 3), 3) == marked.image);
    EXPECT_TRUE(extract(marked.image) == bytesOf(test::referenceExtract(ref.watermarked), 1));
    // The figure for this cover, worked out once; the tool rounds it to 56.51 dB.
    EXPECT_NEAR(marked.psnr, 56.505510411888181, 56.5 * 1e-9);
}

TEST(Api, AColourWatermarkNeedsGreyOnlyWhereItIsRead) {
    const Pixels cover = filled(1024, 768, 3, 90);
    Pixels grey = filled(512, 512, 1, 200);
    Pixels colour = filled(512, 512, 3, 200);
    // Row 0 and column 0 are never read, so colour there does not count.
    colour.data[0] = 10;
    colour.data[3 * 511 + 2] = 10;
    colour.data[3 * 512 * 511 + 1] = 10;
    grey.data[0] = 10;
    EXPECT_TRUE(mark(cover, colour, 0) == mark(cover, grey, 0));
}

struct Refusal {
    const char *name;
    int coverWidth, coverChannels;
    int markHeight, markChannels;
    bool markColoured; // pixel (5, 9) of a colour watermark is not grey
    int threshold;
    Error::Code code;
    const char *words;
};

void PrintTo(const Refusal &r, std::ostream *os) { *os << r.name; }

class Refusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refusals, NameTheReasonInTheToolsWords) {
    const Refusal &r = GetParam();
    const Pixels cover = filled(r.coverWidth, 768, r.coverChannels, 50);
    Pixels watermark = filled(512, r.markHeight, r.markChannels, 0);
    if (r.markColoured)
        watermark.data[(9 * 512 + 5) * 3 + 1] = 1;
    try {
        embed(cover, watermark, r.threshold);
        FAIL() << "accepted";
    } catch (const Error &e) {
        EXPECT_EQ(e.code(), r.code);
        EXPECT_STREQ(e.what(), r.words);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Api, Refusals,
    ::testing::Values(
        Refusal{"CoverTooNarrow", 1023, 3, 512, 1, false, 0, Error::Code::CoverWrongSize,
                "The image is not 1024x768, please choose an image with 1024x768 dimensions"},
        Refusal{"GreyCover", 1024, 1, 512, 1, false, 0, Error::Code::BadChannels,
                "a picture to embed in or extract from has 3 channels (red, green, blue), not 1"},
        Refusal{"TwoChannels", 1024, 2, 512, 1, false, 0, Error::Code::BadChannels,
                "a picture has 1 channel (grey) or 3 (red, green, blue), not 2"},
        Refusal{"WatermarkTooShort", 1024, 3, 511, 1, false, 0, Error::Code::WatermarkWrongSize,
                "The image is not 512x512, please choose an image with 512x512 dimensions"},
        Refusal{"ColourWatermark", 1024, 3, 512, 3, true, 0, Error::Code::WatermarkNotGrey,
                "The image is not grey scale (8 bit)"},
        Refusal{"ThresholdAbove", 1024, 3, 512, 1, false, 256, Error::Code::ThresholdInvalid,
                "The threshold value is not in range, or invalid, please enter a threshold "
                "value in the range (-255,255)"},
        Refusal{"ThresholdBelow", 1024, 3, 512, 1, false, -256, Error::Code::ThresholdInvalid,
                "The threshold value is not in range, or invalid, please enter a threshold "
                "value in the range (-255,255)"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Api, ThresholdsAtTheEndsOfTheRangeAreTaken) {
    const Pixels cover = filled(1024, 768, 3, 0), watermark = filled(512, 512, 1, 0);
    EXPECT_NO_THROW(mark(cover, watermark, 255));
    EXPECT_NO_THROW(mark(cover, watermark, -255));
}

TEST(Api, ExtractAndCompareRefuseWhatTheyCannotRead) {
    EXPECT_THROW(extract(filled(1024, 767, 3, 0)), Error);
    EXPECT_THROW(extract(PixelView(nullptr, 1024, 768, 3)), Error);
    try {
        psnr(filled(4, 3, 3, 0), filled(3, 4, 1, 0));
        FAIL() << "accepted";
    } catch (const Error &e) {
        EXPECT_EQ(e.code(), Error::Code::SizesDiffer);
        EXPECT_STREQ(e.what(), "the images differ in size: 4x3 and 3x4");
    }
}

TEST(Api, PsnrAndNcOnGreyValues) {
    Pixels a = filled(2, 1, 1, 0), b = filled(2, 1, 1, 0);
    b.data[1] = 255;
    // MSE 255^2 / 2, so PSNR = 10 log10(2).
    EXPECT_NEAR(psnr(a, b), 3.0103, 1e-4);
    EXPECT_TRUE(std::isinf(psnr(a, a)));

    a.data = {100, 200};
    b.data = {200, 100};
    EXPECT_NEAR(nc(a, b), 0.8, 1e-12); // 40000 / 50000

    // Pure red is 0.299 * 255 = 76.245 in grey; against a grey 76 the
    // difference is 0.245, MSE 0.060025.
    Pixels red = filled(1, 1, 3, 0), grey = filled(1, 1, 1, 76);
    red.data[0] = 255;
    EXPECT_NEAR(psnr(red, grey), 60.3475, 1e-4);
}

TEST(Api, VerifyFindsTheOneChangedBit) {
    const Pixels watermark = bytesOf(sampleWatermark(), 1);
    const Pixels marked = mark(bytesOf(test::randomImage(1024, 768, 8), 3), watermark, 2);
    const VerifyReport intact = verify(marked, watermark, 2);
    EXPECT_TRUE(intact.intact);
    EXPECT_EQ(intact.bitsDiffering, 0);
    EXPECT_FALSE(intact.alteredBox.has_value());
    EXPECT_EQ(intact.blocksAcross, 128);
    EXPECT_EQ(intact.blocksDown, 96);
    EXPECT_EQ(intact.alteredBlocks, std::vector<std::uint8_t>(128 * 96, 0));

    // Pixel (1, 129) carries a bit in the lowest bit of its red.
    Pixels touched = marked;
    touched.data[(129 * 1024 + 1) * 3] ^= 1;
    const VerifyReport altered = verify(touched, watermark, 2);
    EXPECT_FALSE(altered.intact);
    EXPECT_EQ(altered.bitsCompared, intact.bitsCompared);
    EXPECT_EQ(altered.bitsDiffering, 1);
    EXPECT_EQ(altered.pixelsDiffering, 1);
    EXPECT_EQ(altered.blocksAltered, 1);
    EXPECT_EQ(altered.blocksChecked, intact.blocksChecked);
    ASSERT_TRUE(altered.alteredBox.has_value());
    EXPECT_EQ(altered.alteredBox->left, 0);
    EXPECT_EQ(altered.alteredBox->top, 128);
    EXPECT_EQ(altered.alteredBox->right, 7);
    EXPECT_EQ(altered.alteredBox->bottom, 135);
    EXPECT_EQ(altered.alteredBlocks[16 * 128], 1);

    EXPECT_FALSE(verify(marked, watermark, 200).intact) << "another threshold writes other bits";
    const std::pair<Error::Code, std::function<void()>> refusals[] = {
        {Error::Code::ThresholdInvalid, [&] { verify(marked, watermark, 256); }},
        {Error::Code::CoverWrongSize, [&] { verify(filled(1024, 767, 3, 0), watermark); }},
        {Error::Code::WatermarkWrongSize, [&] { verify(marked, filled(512, 511, 1, 0)); }},
    };
    for (const auto &[code, call] : refusals) {
        try {
            call();
            ADD_FAILURE() << "accepted";
        } catch (const Error &e) {
            EXPECT_EQ(e.code(), code) << e.what();
        }
    }
}

TEST(Api, SsimOfFlatPicturesIsTheLuminanceTerm) {
    // With no variance, SSIM = (2 a b + C1) / (a^2 + b^2 + C1), C1 = 2.55^2:
    // (30000 + 6.5025) / (32500 + 6.5025).
    EXPECT_NEAR(ssim(filled(11, 11, 1, 100), filled(11, 11, 3, 150)), 0.9230923105, 1e-9);
    const Pixels picture = bytesOf(test::randomImage(40, 30, 9), 3);
    EXPECT_DOUBLE_EQ(ssim(picture, picture), 1.0);
    try {
        ssim(filled(10, 10, 1, 0), filled(10, 10, 1, 0));
        FAIL() << "accepted";
    } catch (const Error &e) {
        EXPECT_EQ(e.code(), Error::Code::TooSmall);
        EXPECT_STREQ(e.what(), "SSIM needs pictures of at least 11x11 pixels, not 10x10");
    }
    EXPECT_THROW(ssim(filled(11, 11, 1, 0), filled(12, 11, 1, 0)), Error);
}

// The keyed mark through the API: the keyless watermark with the key and id,
// noise without; refusals of short keys before any work.
TEST(Api, AKeyedMarkNeedsItsKeyAndId) {
    const Pixels cover = bytesOf(test::randomImage(1024, 768, 10), 3);
    const Pixels watermark = bytesOf(sampleWatermark(), 1);
    Key key{std::vector<std::uint8_t>(32, 0x5a), "serial 0001"};
    key.secret[3] = 1;
    const Embedded sealed = embed(cover, watermark, 0, &key);
    EXPECT_TRUE(mark(cover, watermark, 0, &key) == sealed.image);
    EXPECT_FALSE(sealed.image == mark(cover, watermark, 0));
    EXPECT_DOUBLE_EQ(sealed.psnr, psnr(cover, sealed.image));
    EXPECT_TRUE(extract(sealed.image, &key) == extract(mark(cover, watermark, 0)));
    EXPECT_TRUE(verify(sealed.image, watermark, 0, &key).intact);

    Key otherId = key;
    otherId.id = "serial 0002";
    for (const Key *wrong : {static_cast<const Key *>(nullptr), static_cast<const Key *>(&otherId)}) {
        const VerifyReport r = verify(sealed.image, watermark, 0, wrong);
        EXPECT_GT(r.blocksAltered, r.blocksChecked * 99 / 100);
        EXPECT_LT(nc(watermark, extract(sealed.image, wrong)), nc(watermark, extract(sealed.image, &key)) - 0.1);
    }

    EXPECT_FALSE(verify(sealed.image, watermark, 0, &key).noBlockMatches);
    EXPECT_TRUE(verify(sealed.image, watermark, 0, &otherId).noBlockMatches);
    EXPECT_TRUE(verify(cover, watermark, 0, &key).noBlockMatches) << "never marked";
    EXPECT_FALSE(verify(mark(cover, watermark, 0), watermark).noBlockMatches);

    // An edit in the top-left corner fails block column 12 of its row, the
    // carrying block it is hashed with: the report marks its whole span.
    Pixels edited = sealed.image;
    edited.data[(10 * 1024 + 10) * 3 + 2] ^= 1;
    const VerifyReport corner = verify(edited, watermark, 0, &key);
    EXPECT_FALSE(corner.intact);
    EXPECT_FALSE(corner.noBlockMatches);
    EXPECT_EQ(corner.blocksAltered, 1);
    EXPECT_EQ(corner.blocksChecked, 11968);
    std::vector<std::uint8_t> span(128 * 96, 0);
    std::fill_n(span.begin() + 128, 13, 1);
    EXPECT_EQ(corner.alteredBlocks, span);
    ASSERT_TRUE(corner.alteredBox.has_value());
    EXPECT_EQ(corner.alteredBox->left, 0);
    EXPECT_EQ(corner.alteredBox->top, 8);
    EXPECT_EQ(corner.alteredBox->right, 103);
    EXPECT_EQ(corner.alteredBox->bottom, 15);

    const Key shortKey{std::vector<std::uint8_t>(15, 1), ""};
    const std::function<void()> calls[] = {
        [&] { embed(cover, watermark, 0, &shortKey); },
        [&] { mark(cover, watermark, 0, &shortKey); },
        [&] { extract(sealed.image, &shortKey); },
        [&] { verify(sealed.image, watermark, 0, &shortKey); },
    };
    for (const auto &call : calls) {
        try {
            call();
            ADD_FAILURE() << "accepted";
        } catch (const Error &e) {
            EXPECT_EQ(e.code(), Error::Code::KeyTooShort);
            EXPECT_STREQ(e.what(), "a key has at least 16 bytes, not 15");
        }
    }
}

} // namespace
} // namespace ombrel
