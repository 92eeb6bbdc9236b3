// SPDX-License-Identifier: Apache-2.0
#include "imaging/quality.h"
#include "imaging/sample_images.h"
#include "stego/embedding.h"
#include "stego/extraction.h"
#include "support/bmp_builder.h"
#include "support/reference.h"
#include "wavelet/haar.h"

#include <gtest/gtest.h>

#include <optional>

namespace ombrel {
namespace {

// The 447 coefficients whose pixels lie outside a 1024 x 768 cover.
bool lostPosition(int x, int y) {
    return (x == 128 && y > 128) || (y == 512 && x <= 128 && x % 2 == 0);
}

class PipelineMatchesReference : public ::testing::TestWithParam<int> {};

// The fast core follows the literal pixel-by-pixel, digit-string pipeline on
// every pixel of every output.
TEST_P(PipelineMatchesReference, EmbedAndExtract) {
    const int threshold = GetParam();
    const Image cover = test::randomImage(1024, 768, 1);
    const Image watermark = sampleWatermark();
    const EmbedResult fast = embed(surfaceOf(cover), surfaceOf(watermark), threshold);
    const test::ReferenceEmbed slow = test::referenceEmbed(cover, watermark, threshold);
    EXPECT_TRUE(fast.watermarked.image() == slow.watermarked);
    EXPECT_TRUE(fast.firstPicture.image() == slow.firstPicture);
    EXPECT_TRUE(fast.secondPicture.image() == slow.secondPicture);
    EXPECT_TRUE(extract(fast.watermarked).image() == test::referenceExtract(slow.watermarked));
}

INSTANTIATE_TEST_SUITE_P(Thresholds, PipelineMatchesReference, ::testing::Values(-255, 0, 17, 200));

TEST(Pipelines, ExtractionReturnsWhatWasStored) {
    Surface cover = surfaceOf(test::randomImage(1024, 768, 7));
    Surface watermark = surfaceOf(test::randomImage(512, 512, 8, true));
    Progress progress;
    EmbeddingPipeline embedding;
    embedding.readCover(cover, progress);
    embedding.readWatermark(watermark, progress);
    embedding.transform(-255, progress);
    embedding.quantise();
    embedding.embedInto(cover, progress);

    ExtractionPipeline extraction;
    extraction.readImage(cover, progress);
    extraction.gather(progress);
    extraction.scale(progress);
    const CoeffMatrix &stored = embedding.coeffmatrix();
    const CoeffMatrix &read = extraction.coeffmatrix();
    int lost = 0;
    for (int y = 1; y <= 512; ++y)
        for (int x = 1; x <= 512; ++x) {
            const bool approx = x <= 128 && y <= 128;
            const int expected = approx ? stored(x, y) : 16 * stored(x, y);
            if (lostPosition(x, y)) {
                ++lost;
                ASSERT_EQ(read(x, y), 32);
            } else {
                ASSERT_EQ(read(x, y), expected) << x << "," << y;
            }
        }
    EXPECT_EQ(lost, 447);
}

// A hard black-and-white edge gives difference magnitudes of 128; they are
// stored as 7 and come back as 112 rather than collapsing to 64.
TEST(Pipelines, MagnitudeOf128SaturatesAtSeven) {
    Image stripes(512, 512);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x)
            stripes.at(x, y) = (x % 2) ? rgb(255, 255, 255) : 0; // odd columns white
    Surface cover = surfaceOf(Image(1024, 768, rgb(90, 90, 90)));
    Surface watermark = surfaceOf(stripes);
    Progress progress;
    EmbeddingPipeline embedding;
    embedding.readCover(cover, progress);
    embedding.readWatermark(watermark, progress);
    embedding.transform(-255, progress);
    ASSERT_EQ(embedding.coeffmatrix()(300, 10), 128);
    embedding.quantise();
    EXPECT_EQ(embedding.coeffmatrix()(300, 10), 7);
    embedding.embedInto(cover, progress);
    ExtractionPipeline extraction;
    extraction.readImage(cover, progress);
    extraction.gather(progress);
    extraction.scale(progress);
    EXPECT_EQ(extraction.coeffmatrix()(300, 10), 112);
}

TEST(Pipelines, ThresholdRule) {
    Surface cover = surfaceOf(Image(1024, 768, 0));
    Surface watermark = surfaceOf(sampleWatermark());
    Progress progress;
    EmbeddingPipeline keepAll, dropAll;
    for (auto *p : {&keepAll, &dropAll}) {
        p->readCover(cover, progress);
        p->readWatermark(watermark, progress);
    }
    keepAll.transform(-255, progress);
    dropAll.transform(200, progress);
    const CoeffMatrix raw2 = fwdwavelet(fwdwavelet(keepAll.watermatrix(), 512), 256);
    bool anyDifference = false;
    for (int y = 1; y <= 512; ++y)
        for (int x = 1; x <= 512; ++x) {
            const int raw = raw2(x, y);
            EXPECT_EQ(keepAll.coeffmatrix()(x, y), std::abs(raw));
            EXPECT_EQ(dropAll.coeffmatrix()(x, y), raw < 200 ? 0 : raw);
            anyDifference |= (x > 128 || y > 128) && raw != 0;
        }
    EXPECT_TRUE(anyDifference);
}

TEST(Pipelines, ProgressEndsWhereTheBarStops) {
    int value = -1, max = -1;
    auto record = [&](int v, int m) {
        value = v;
        max = m;
    };
    const Surface cover = surfaceOf(sampleCover());
    const EmbedResult result = embed(cover, surfaceOf(sampleWatermark()), 0, record);
    EXPECT_EQ(value, 2946);
    EXPECT_EQ(max, 3074);
    extract(result.watermarked, record);
    EXPECT_EQ(value, 2560);
    EXPECT_EQ(max, 2560);
}

TEST(Pipelines, EmbeddingTwiceChangesNothingMore) {
    const Surface watermark = surfaceOf(sampleWatermark());
    const EmbedResult once = embed(surfaceOf(sampleCover()), watermark, 0);
    const EmbedResult twice = embed(once.watermarked, watermark, 0);
    EXPECT_TRUE(once.watermarked.image() == twice.watermarked.image());
}

TEST(Pipelines, PicturesKeepTheBackgroundWhereNothingIsDrawn) {
    const EmbedResult r = embed(surfaceOf(sampleCover()), surfaceOf(sampleWatermark()), 0);
    const Surface extracted = extract(r.watermarked);
    for (const Surface *s : {&r.firstPicture, &r.secondPicture, &extracted}) {
        EXPECT_EQ(s->point(0, 5), kControlFace);
        EXPECT_EQ(s->point(5, 0), kControlFace);
    }
    EXPECT_EQ(r.firstPicture.point(520, 520), kControlFace);
    EXPECT_EQ(r.firstPicture.width(), 536);
    EXPECT_EQ(extracted.width(), 512);
}

// The tool embeds into the cover's own pixels and sums the PSNR on the way,
// keyless and keyed; the pixels must be what the copying pipeline gives, the
// PSNR what a whole comparison gives, to the bit, and the bar must count as
// the copying pipeline's does.
TEST(Pipelines, InPlaceEmbeddingAndItsPsnrMatchACopyAndACompare) {
    const Surface watermark = surfaceOf(sampleWatermark());
    const Keystream keystream(MarkKey{SecretBytes(16, 0xa5), "in place"});
    for (const Keystream *key : {static_cast<const Keystream *>(nullptr), &keystream})
        for (const int threshold : {-255, 0, 200})
            for (const Image &original : {sampleCover(), test::randomImage(1024, 768, 3)}) {
                const std::string what = (key ? "keyed, " : "keyless, ") + std::to_string(threshold);
                const EmbedResult copied = embed(surfaceOf(original), watermark, threshold, {}, key);
                EmbeddingPipeline pipeline;
                Progress quiet;
                pipeline.readWatermark(watermark, quiet);
                pipeline.transform(threshold, quiet);
                pipeline.quantise();
                std::vector<int> ticks;
                Progress progress([&ticks](int value, int) { ticks.push_back(value); });
                Surface cover{Image(original)};
                double psnr = 0;
                std::optional<BlockHashes> hashes;
                if (key)
                    hashes.emplace(*key, cover.image());
                pipeline.embedInPlace(cover, progress, &psnr, hashes ? &*hashes : nullptr);
                // 128 approximation rows of 4 ticks, 512 right rows and 128 lower columns of 1.
                ASSERT_EQ(ticks.size(), 768u) << what;
                EXPECT_EQ(ticks[127], 512) << what;
                EXPECT_EQ(ticks.back(), 1152) << what;
                ASSERT_TRUE(cover.image() == copied.watermarked.image()) << what;
                EXPECT_EQ(psnr, compareImages(original, cover.image())->psnr) << what;
            }
}

// Gathering straight from an image reads what the cover matrix would hold,
// -1 past the right edge and the foot included.
TEST(Pipelines, GatheringFromTheImageMatchesTheCoverMatrix) {
    struct Size {
        int width, height;
    };
    for (const Size size : {Size{1024, 768}, Size{1030, 770}, Size{1025, 700}, Size{1000, 768}}) {
        const Surface image = surfaceOf(test::randomImage(size.width, size.height, 11));
        Progress progress;
        ExtractionPipeline viaMatrix, direct;
        viaMatrix.readImage(image, progress);
        viaMatrix.gather(progress);
        direct.gather(image, progress);
        EXPECT_TRUE(direct.coeffmatrix() == viaMatrix.coeffmatrix())
            << size.width << " x " << size.height;
    }
}

} // namespace
} // namespace ombrel
