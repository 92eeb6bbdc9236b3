// SPDX-License-Identifier: Apache-2.0
#pragma once

// The scratch folder most tests of the tool begin with: a random 1024 x 768
// cover drawn from a seed of the test's own, and the sample watermark as an
// 8-bit grey bitmap.

#include "imaging/picture_out.h"
#include "imaging/sample_images.h"
#include "support/bmp_builder.h"
#include "support/folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

namespace ombrel::test {

// A dataset of a run: a folder "covers" of count random covers, c0.bmp,
// c1.bmp, ... drawn from the seeds firstSeed on, and the watermark beside it.
struct Dataset {
    std::string folder, watermark;
};
inline Dataset writeDataset(const TempDir &dir, unsigned count, unsigned firstSeed) {
    Dataset d{dir.file("covers"), dir.file("watermark.bmp")};
    std::filesystem::create_directory(d.folder);
    for (unsigned i = 0; i < count; ++i)
        EXPECT_TRUE(saveBitmap(randomImage(1024, 768, firstSeed + i), d.folder + "/c" + std::to_string(i) + ".bmp"));
    EXPECT_TRUE(saveBitmap(sampleWatermark(), d.watermark, PictureKind::Grey8));
    return d;
}

class CoverAndWatermark : public ::testing::Test {
protected:
    // coverName may lie in a folder of the scratch folder, made as needed.
    explicit CoverAndWatermark(unsigned seed, std::string coverName = "cover.bmp")
        : seed_(seed), coverName_(std::move(coverName)) {}

    void SetUp() override {
        cover = dir.file(coverName_);
        watermark = dir.file("watermark.bmp");
        std::filesystem::create_directories(std::filesystem::path(cover).parent_path());
        ASSERT_TRUE(saveBitmap(randomImage(1024, 768, seed_), cover));
        ASSERT_TRUE(saveBitmap(sampleWatermark(), watermark, PictureKind::Grey8));
    }

    TempDir dir;
    std::string cover, watermark;

private:
    unsigned seed_;
    std::string coverName_;
};

} // namespace ombrel::test
