// SPDX-License-Identifier: Apache-2.0
// The tool on pictures that are not bitmaps or not of the working sizes:
// lossless formats in and out, lossy names refused, --fit.
#include "imaging/picture_in.h"
#include "imaging/picture_out.h"
#include "imaging/fit.h"
#include "imaging/quality.h"
#include "imaging/sample_images.h"
#include "support/bmp_builder.h"
#include "support/cli_run.h"
#include "support/folder.h"
#include "support/reference.h"

#include <QImage>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace ombrel {
namespace {

using test::runCli;

class CliFormats : public ::testing::Test {
protected:
    void SetUp() override {
        cover = test::randomImage(1024, 768, 21);
        watermark = sampleWatermark();
        coverBmp = write("cover.bmp", cover, FileFormat::Bmp);
        watermarkBmp = write("watermark.bmp", watermark, FileFormat::Bmp);
    }
    std::string write(const std::string &name, const Image &image, FileFormat format) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(savePictures({{&image, path, PictureKind::Rgb24, format}})) << name;
        return path;
    }
    Image load(const std::string &path) {
        auto loaded = loadPicture(path);
        EXPECT_TRUE(loaded.ok()) << loaded.error().message();
        return loaded.ok() ? *loaded : Image(0, 0);
    }

    test::TempDir dir;
    Image cover, watermark;
    std::string coverBmp, watermarkBmp;
};

// The same pixels in any lossless file give the same marked pixels, and a
// marked picture kept in any of them still extracts and verifies.
TEST_F(CliFormats, PixelsAreWhatCount) {
    const test::ReferenceEmbed expected = test::referenceEmbed(cover, watermark, 5);
    const Image expectedMark = test::referenceExtract(expected.watermarked);
    struct Row {
        const char *coverName, *watermarkName, *markedName, *markName, *magic;
        FileFormat coverFormat, watermarkFormat;
    };
    const Row rows[] = {
        {"c.png", "w.png", "marked.png", "mark.pgm", "\x89PNG", FileFormat::Png, FileFormat::Png},
        {"c.tif", "w.pgm", "marked.tiff", "mark.png", "II*", FileFormat::Tiff, FileFormat::Pgm},
        {"c.ppm", "w.tif", "marked.ppm", "mark.tif", "P6", FileFormat::Ppm, FileFormat::Tiff},
        {"c.png", "w.pgm", "marked", "mark", "BM", FileFormat::Png, FileFormat::Pgm},
    };
    for (const Row &r : rows) {
        const std::string c = write(r.coverName, cover, r.coverFormat);
        const std::string w = write(r.watermarkName, watermark, r.watermarkFormat);
        const std::string marked = dir.file(r.markedName), mark = dir.file(r.markName);
        const auto embedded = runCli({"embed", c, w, "-t", "5", "-o", marked});
        ASSERT_EQ(embedded.code, 0) << r.markedName << ": " << embedded.err;
        EXPECT_EQ(test::readFile(marked).rfind(r.magic, 0), 0u) << r.markedName;
        EXPECT_TRUE(load(marked) == expected.watermarked) << r.markedName;

        ASSERT_EQ(runCli({"extract", marked, "-o", mark}).code, 0) << r.markName;
        EXPECT_TRUE(load(mark) == expectedMark) << r.markName;

        const auto verified = runCli({"verify", marked, "--watermark", w, "-t", "5"});
        EXPECT_EQ(verified.code, 0) << r.markedName << ": " << verified.out;
        EXPECT_NE(verified.out.find("\nintact\n"), std::string::npos) << r.markedName;
    }
}

TEST_F(CliFormats, LossyAndUnknownNamesAreRefusedBeforeAnythingHappens) {
    // The inputs do not exist: a name refused first never gets to them.
    const std::string missing = dir.file("missing.png");
    struct Row {
        std::vector<std::string> args;
        std::string words;
    };
    const Row rows[] = {
        {{"embed", missing, missing, "-o", dir.file("marked.jpg")}, "lossy compression destroys the watermark"},
        {{"embed", missing, missing, "-o", dir.file("marked.png"), "--wavelet-picture", dir.file("w.JPEG")},
         "lossy compression destroys the watermark"},
        {{"embed", missing, missing, "-o", dir.file("m.png"), "--quantised-picture=" + dir.file("q.webp")},
         "lossy compression destroys the watermark"},
        {{"extract", missing, "-o", dir.file("mark.jpg")}, "lossy compression destroys the watermark"},
        {{"verify", missing, "--watermark", missing, "--map", dir.file("map.jpeg")},
         "lossy compression destroys the watermark"},
        {{"embed", missing, missing, "-o", dir.file("marked.xyz")}, ".xyz is not a format this program writes"},
    };
    for (const Row &r : rows) {
        const auto result = runCli(r.args);
        EXPECT_EQ(result.code, 2) << r.args.back() << ": " << result.err;
        EXPECT_NE(result.err.find(r.words), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("name it .bmp, .png, .tif, .tiff, .ppm or .pgm"), std::string::npos);
    }
    // A marked picture has colour, so PGM cannot hold it; the extracted
    // watermark is grey and can.
    const auto grey = runCli({"embed", missing, missing, "-o", dir.file("marked.pgm")});
    EXPECT_EQ(grey.code, 2);
    EXPECT_NE(grey.err.find("marked.pgm: a PGM file holds grey pictures only"), std::string::npos) << grey.err;
    EXPECT_EQ(runCli({"extract", missing, "-o", dir.file("mark.pgm")}).code, 1) << "the name passes";
    EXPECT_EQ(test::entriesOf(dir.path()), (std::set<std::string>{"cover.bmp", "watermark.bmp"}))
        << "nothing written";
}

TEST_F(CliFormats, PicturesThatWouldLosePixelsAreRefusedInOneLine) {
    QImage deep(1024, 768, QImage::Format_RGBX64);
    deep.fill(qRgb(10, 20, 30));
    const std::string deepPng = dir.file("deep.png");
    ASSERT_TRUE(deep.save(QString::fromStdString(deepPng)));
    QImage glass(512, 512, QImage::Format_ARGB32);
    glass.fill(qRgba(9, 9, 9, 255));
    glass.setPixel(100, 100, qRgba(9, 9, 9, 0));
    const std::string glassPng = dir.file("glass.png");
    ASSERT_TRUE(glass.save(QString::fromStdString(glassPng)));
    const std::string out = dir.file("out.png");
    struct Row {
        std::vector<std::string> args;
        std::string message;
    };
    const Row rows[] = {
        {{"embed", deepPng, watermarkBmp, "-o", out},
         deepPng + ": 16 bits a channel; this program takes 8 and will not round them away"},
        {{"embed", coverBmp, glassPng, "--fit", "-o", out},
         glassPng + ": has pixels that are not fully opaque; the watermark needs plain colours, "
                    "so flatten the picture first"},
        {{"compare", deepPng, coverBmp},
         deepPng + ": 16 bits a channel; this program takes 8 and will not round them away"},
    };
    for (const Row &r : rows) {
        const auto result = runCli(r.args);
        EXPECT_EQ(result.code, 1) << r.message;
        EXPECT_EQ(result.err, r.message + "\n");
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

// A photo-sized cover and a colour logo of another shape, fitted.
TEST_F(CliFormats, FitTakesAnySizeAndColour) {
    const Image photo = test::randomImage(1300, 900, 4);
    const Image logo = test::randomImage(300, 200, 5);
    const std::string photoPng = write("photo.png", photo, FileFormat::Png);
    const std::string logoPng = write("logo.png", logo, FileFormat::Png);
    const std::string marked = dir.file("marked.png");

    const auto refused = runCli({"embed", photoPng, logoPng, "-o", marked});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.err, photoPng +
                               ": The image is not 1024x768, please choose an image with 1024x768 "
                               "dimensions; --fit scales and crops a cover of any size\n");
    const auto refusedMark = runCli({"embed", coverBmp, logoPng, "-o", marked});
    EXPECT_EQ(refusedMark.err, logoPng +
                                   ": The image is not 512x512, please choose an image with "
                                   "512x512 dimensions; --fit scales and crops a watermark of any size\n");
    const Image colourMark = test::randomImage(512, 512, 6);
    const std::string colourPng = write("colour.png", colourMark, FileFormat::Png);
    EXPECT_EQ(runCli({"embed", coverBmp, colourPng, "-o", marked}).err,
              colourPng + ": The image is not grey scale (8 bit); --fit turns a colour watermark grey\n");
    EXPECT_FALSE(std::filesystem::exists(marked));

    const auto fitted = runCli({"embed", photoPng, logoPng, "--fit", "-o", marked});
    ASSERT_EQ(fitted.code, 0) << fitted.err;
    const Image fittedCover = fitCover(photo);
    const test::ReferenceEmbed expected = test::referenceEmbed(fittedCover, fitWatermark(logo), 0);
    const Image got = load(marked);
    EXPECT_EQ(got.width, 1024);
    EXPECT_EQ(got.height, 768);
    EXPECT_TRUE(got == expected.watermarked);
    std::ostringstream psnr;
    psnr << std::fixed << std::setprecision(2) << compareImages(fittedCover, got)->psnr << " dB";
    EXPECT_NE(fitted.out.find("against the cover: " + psnr.str()), std::string::npos) << fitted.out;

    // Fitting a picture of the working size leaves it as it is.
    ASSERT_EQ(runCli({"embed", coverBmp, watermarkBmp, "--fit", "-o", marked}).code, 0);
    EXPECT_TRUE(load(marked) == test::referenceEmbed(cover, watermark, 0).watermarked);
    EXPECT_EQ(runCli({"embed", coverBmp, watermarkBmp, "--fit=yes", "-o", marked}).code, 2);
    EXPECT_EQ(runCli({"extract", photoPng, "--fit", "-o", marked}).code, 2) << "extract does not fit";
}

TEST_F(CliFormats, EvaluateFitsCoversFromAFolder) {
    std::filesystem::create_directory(dir.path() / "covers");
    const Image photo = test::randomImage(1100, 800, 7);
    write("covers/photo.png", photo, FileFormat::Png);
    const std::string results = dir.file("results");

    const auto refused = runCli({"evaluate", dir.file("covers"), "--watermark", watermarkBmp, "-o", results});
    EXPECT_NE(refused.err.find("skipped " + dir.file("covers/photo.png") + ": The image is not 1024x768"),
              std::string::npos) << refused.err;

    const auto done = runCli({"evaluate", dir.file("covers"), "--watermark", watermarkBmp, "--fit",
                              "-j", "1", "-o", results, "--overwrite"});
    ASSERT_EQ(done.code, 0) << done.err;
    EXPECT_NE(done.out.find("Evaluated 1 of 1 covers"), std::string::npos) << done.out;
    const Image fitted = fitCover(photo);
    const Image marked = test::referenceEmbed(fitted, watermark, 0).watermarked;
    std::ostringstream row;
    row << dir.file("covers/photo.png") << ",0," << std::fixed << std::setprecision(2)
        << compareImages(fitted, marked)->psnr << "," << std::setprecision(6)
        << *structuralSimilarity(fitted, marked) << ",none,";
    EXPECT_NE(test::readFile(results + "/results.csv").find(row.str()), std::string::npos)
        << "PSNR and SSIM against the fitted cover: " << row.str();
}

} // namespace
} // namespace ombrel
