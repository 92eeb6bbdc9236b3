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
#include <type_traits>
#include <utility>

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
    embedding.read(&cover, &watermark, progress).transform(-255, progress).quantise().embedInto(cover, progress);

    // Drawing leaves the scaled coefficients where they were.
    ExtractionPipeline extraction;
    Surface picture = makeExtractedSurface();
    extraction.gatherThroughCoverMatrix(cover, progress).draw(picture, progress);
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
    EmbedThresholded thresholded = embedding.read(&cover, &watermark, progress).transform(-255, progress);
    ASSERT_EQ(embedding.coeffmatrix()(300, 10), 128);
    const EmbedQuantised mark = std::move(thresholded).quantise();
    EXPECT_EQ(embedding.coeffmatrix()(300, 10), 7);
    mark.embedInto(cover, progress);
    ExtractionPipeline extraction;
    Surface picture = makeExtractedSurface();
    extraction.gatherThroughCoverMatrix(cover, progress).draw(picture, progress);
    EXPECT_EQ(extraction.coeffmatrix()(300, 10), 112);
}

TEST(Pipelines, ThresholdRule) {
    Surface cover = surfaceOf(Image(1024, 768, 0));
    Surface watermark = surfaceOf(sampleWatermark());
    Progress progress;
    EmbeddingPipeline keepAll, dropAll;
    keepAll.read(&cover, &watermark, progress).transform(-255, progress);
    dropAll.read(&cover, &watermark, progress).transform(200, progress);
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

// The pipelines only tick: the bar keeps the maximum its window started it
// with, and the ticks end where the windows' bars stop.
TEST(Pipelines, ProgressEndsWhereTheBarStops) {
    int value = -1, max = -1, starts = 0;
    Progress progress([&](int v, int m) {
        starts += v == 0;
        value = v;
        max = m;
    });
    const Surface cover = surfaceOf(sampleCover());
    progress.start(3074);
    const EmbedResult result = embed(cover, surfaceOf(sampleWatermark()), 0, &progress);
    EXPECT_EQ(value, 2946);
    EXPECT_EQ(max, 3074);
    progress.start(2560);
    extract(result.watermarked, &progress);
    EXPECT_EQ(value, 2560);
    EXPECT_EQ(max, 2560);
    EXPECT_EQ(starts, 2);
}

// A stage is made only by the step before it, and a step spends its stage:
// the order cannot be changed, a step not repeated nor taken on a copy.
template <class Stage>
concept Copyable = std::is_copy_constructible_v<Stage> || std::is_copy_assignable_v<Stage>;
static_assert(!Copyable<EmbedRead> && !Copyable<EmbedThresholded> && !Copyable<EmbedQuantised> &&
              !Copyable<ExtractGathered>);
static_assert(!std::is_constructible_v<EmbedRead, EmbeddingPipeline &> &&
              !std::is_constructible_v<EmbedThresholded, EmbeddingPipeline &> &&
              !std::is_constructible_v<EmbedQuantised, EmbeddingPipeline &> &&
              !std::is_constructible_v<ExtractGathered, ExtractionPipeline &>);
template <class Read>
concept TransformsACopy = requires(Read &read, Progress &p) { read.transform(0, p); };
template <class Read>
concept TransformsOnce = requires(Read &read, Progress &p) { std::move(read).transform(0, p); };
template <class Thresholded>
concept QuantisesACopy = requires(Thresholded &t) { t.quantise(); };
template <class Gathered>
concept DrawsACopy = requires(Gathered &g, Surface &s, Progress &p) { g.draw(s, p); };
template <class Pipeline>
concept EmbeddingStepsLoose = requires(Pipeline &pipeline) { pipeline.quantise(); } ||
                              requires(Pipeline &pipeline, Surface &s, Progress &p) { pipeline.embedInto(s, p); } ||
                              requires(Pipeline &pipeline, Progress &p) { pipeline.transform(0, p); };
template <class Pipeline>
concept ExtractionStepsLoose = requires(Pipeline &pipeline, Progress &p) { pipeline.scale(p); } ||
                               requires(Pipeline &pipeline) { pipeline.invert(); };
static_assert(TransformsOnce<EmbedRead> && !TransformsACopy<EmbedRead>);
static_assert(!QuantisesACopy<EmbedThresholded> && !DrawsACopy<ExtractGathered>);
static_assert(!EmbeddingStepsLoose<EmbeddingPipeline> && !ExtractionStepsLoose<ExtractionPipeline>);

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
                const EmbedQuantised mark =
                    pipeline.read(nullptr, &watermark, quiet).transform(threshold, quiet).quantise();
                std::vector<int> ticks;
                Progress progress([&ticks](int value, int) { ticks.push_back(value); });
                Surface cover{Image(original)};
                double psnr = 0;
                std::optional<BlockHashes> hashes;
                if (key)
                    hashes.emplace(*key, cover.image());
                mark.embedInPlace(cover, progress, &psnr, hashes ? &*hashes : nullptr);
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
        viaMatrix.gatherThroughCoverMatrix(image, progress);
        direct.gather(image, progress);
        EXPECT_TRUE(direct.coeffmatrix() == viaMatrix.coeffmatrix())
            << size.width << " x " << size.height;
    }
}

} // namespace
} // namespace ombrel
