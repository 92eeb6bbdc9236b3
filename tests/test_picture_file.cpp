// SPDX-License-Identifier: Apache-2.0
// Pictures other than Windows bitmaps: read by content, written by name,
// refused in one line when they would lose or invent pixels.
#include "imaging/picture_in.h"
#include "imaging/picture_out.h"
#include "support/bmp_builder.h"
#include "support/folder.h"

#include <QImage>
#include <QImageReader>

#include <gtest/gtest.h>

#include <filesystem>

namespace ombrel {
namespace {

// Fixtures written by Qt itself, so each file really is what its name says;
// the tests check the header bytes that make it so.
std::string writeWithQt(const test::TempDir &dir, const std::string &name, const QImage &image) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(image.save(QString::fromStdString(path))) << name;
    return path;
}

QImage filled(QImage::Format format, QRgb colour) {
    QImage image(6, 4, format);
    image.fill(colour);
    return image;
}

int byteAt(const std::string &path, std::size_t at) {
    return static_cast<unsigned char>(test::readFile(path).at(at));
}

TEST(PictureFile, EveryFormatGivesEveryColourBack) {
    test::TempDir dir;
    const Image colour = test::randomImage(37, 23, 11);
    const Image grey = test::randomImage(37, 23, 12, true);
    struct Row {
        const char *name;
        FileFormat format;
        const Image &image;
        std::string magic;
    };
    const Row rows[] = {
        {"colour.bmp", FileFormat::Bmp, colour, "BM"},
        {"colour.png", FileFormat::Png, colour, "\x89PNG"},
        {"colour.tif", FileFormat::Tiff, colour, "II*"},
        {"colour.ppm", FileFormat::Ppm, colour, "P6"},
        {"grey.png", FileFormat::Png, grey, "\x89PNG"},
        {"grey.tiff", FileFormat::Tiff, grey, "II*"},
        {"grey.pgm", FileFormat::Pgm, grey, "P5"},
    };
    for (const Row &r : rows) {
        const std::string path = dir.file(r.name);
        ASSERT_TRUE(savePictures({{&r.image, path, PictureKind::Rgb24, r.format}})) << r.name;
        EXPECT_EQ(test::readFile(path).rfind(r.magic, 0), 0u) << r.name;
        const auto loaded = loadPicture(path);
        ASSERT_TRUE(loaded.ok()) << r.name << ": " << loaded.error().message();
        EXPECT_TRUE(*loaded == r.image) << r.name;
    }
    // A grey picture goes into PNG as 8-bit grey (colour type 0), colour as RGB (2).
    EXPECT_EQ(byteAt(dir.file("grey.png"), 25), 0);
    EXPECT_EQ(byteAt(dir.file("colour.png"), 25), 2);
    EXPECT_EQ(byteAt(dir.file("colour.png"), 24), 8);
}

// Qt's image allocation limit is the process's: reading a picture leaves
// whatever the host set.
TEST(PictureFile, ReadingLeavesTheProcessLimitAlone) {
    test::TempDir dir;
    const Image colour = test::randomImage(9, 7, 3);
    const int before = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(777);
    for (const char *name : {"limit.bmp", "limit.png"}) {
        const std::string path = dir.file(name);
        ASSERT_TRUE(savePictures({{&colour, path, PictureKind::Rgb24, *formatForName(path)}})) << name;
        ASSERT_TRUE(loadPicture(path).ok()) << name;
        EXPECT_EQ(QImageReader::allocationLimit(), 777) << name;
    }
    QImageReader::setAllocationLimit(before);
}

TEST(PictureFile, ContentDecidesNotTheName) {
    test::TempDir dir;
    const Image image = test::randomImage(9, 5, 3);
    const std::string png = dir.file("really-a-png.bmp");
    ASSERT_TRUE(savePictures({{&image, png, PictureKind::Rgb24, FileFormat::Png}}));
    const auto loaded = loadPicture(png);
    ASSERT_TRUE(loaded.ok()) << loaded.error().message();
    EXPECT_TRUE(*loaded == image);
    // The desktop program's loader still takes bitmaps only.
    const auto bitmapOnly = loadBitmap(png);
    EXPECT_EQ(bitmapOnly.error().problem, FileProblem::NotBitmap);
    EXPECT_EQ(bitmapOnly.error().reason(), "not a Windows bitmap");
}

// A palette bitmap is read through its table; indexes past a short table
// are black, as Qt's own conversion to 32 bits gives them.
TEST(PictureFile, IndexesPastAShortPaletteAreBlack) {
    std::string bmp = "BM";
    auto le = [&](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            bmp += static_cast<char>((v >> (8 * i)) & 255);
    };
    le(14 + 40 + 8 + 4, 4); // file size
    le(0, 4);
    le(14 + 40 + 8, 4);            // pixel offset
    le(40, 4);                     // header size
    le(4, 4), le(1, 4);            // 4 x 1
    le(1, 2), le(8, 2);            // one plane, 8 bits
    le(0, 4), le(4, 4);            // uncompressed, 4 bytes of pixels
    le(3780, 4), le(3780, 4);      // 96 dots per inch
    le(2, 4), le(0, 4);            // two colours in the table
    bmp += std::string("\x1e\x14\x0a\x00\x00\x64\xc8\x00", 8); // blue, green, red, 0
    bmp += std::string("\x00\x01\x05\xff", 4);
    test::TempDir dir;
    const std::string path = dir.write("short-palette.bmp", bmp);
    const auto loaded = loadPicture(path);
    ASSERT_TRUE(loaded.ok()) << loaded.error().message();
    Image expected(4, 1);
    expected.pixels = {0x1e140a, 0x0064c8, 0, 0};
    EXPECT_TRUE(*loaded == expected);
    const QImage byQt = QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB32);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(byQt.pixel(x, 0) & 0xffffff, static_cast<QRgb>(split(expected.pixels[x]).red) << 16 |
                                                    split(expected.pixels[x]).green << 8 |
                                                    split(expected.pixels[x]).blue)
            << x;
}

TEST(PictureFile, OpaqueAlphaAndPalettesBecomeRgb) {
    test::TempDir dir;
    QImage palette(3, 2, QImage::Format_Indexed8);
    palette.setColorTable({qRgb(10, 20, 30), qRgb(200, 100, 0), qRgb(1, 2, 3)});
    const int indices[2][3] = {{0, 1, 2}, {2, 2, 1}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            palette.setPixel(x, y, static_cast<uint>(indices[y][x]));
    const std::string indexed = writeWithQt(dir, "palette.png", palette);
    EXPECT_EQ(byteAt(indexed, 25), 3) << "a palette PNG";
    const auto fromPalette = loadPicture(indexed);
    ASSERT_TRUE(fromPalette.ok()) << fromPalette.error().message();
    Image expected(3, 2);
    expected.pixels = {0x1e140a, 0x0064c8, 0x030201, 0x030201, 0x030201, 0x0064c8};
    EXPECT_TRUE(*fromPalette == expected);

    const std::string opaque =
        writeWithQt(dir, "opaque.png", filled(QImage::Format_ARGB32, qRgba(40, 50, 60, 255)));
    EXPECT_EQ(byteAt(opaque, 25), 6) << "RGBA";
    const auto fromOpaque = loadPicture(opaque);
    ASSERT_TRUE(fromOpaque.ok()) << fromOpaque.error().message();
    EXPECT_EQ(fromOpaque->pixels.front(), 0x3c3228);
}

TEST(PictureFile, RefusalsCarryTheirReason) {
    test::TempDir dir;
    QImage translucent = filled(QImage::Format_ARGB32, qRgba(40, 50, 60, 255));
    translucent.setPixel(5, 3, qRgba(40, 50, 60, 254));
    const std::string deepPng = writeWithQt(dir, "deep.png", filled(QImage::Format_RGBX64, qRgb(1, 2, 3)));
    const std::string deepGrey =
        writeWithQt(dir, "deep-grey.png", filled(QImage::Format_Grayscale16, qRgb(9, 9, 9)));
    EXPECT_EQ(byteAt(deepPng, 24), 16) << "16 bits a channel";
    EXPECT_EQ(byteAt(deepGrey, 24), 16) << "16 bits of grey";
    struct Row {
        const char *name;
        std::string path;
        FileProblem problem;
    };
    const Row rows[] = {
        {"16-bit PNG", deepPng, FileProblem::SixteenBit},
        {"16-bit grey PNG", deepGrey, FileProblem::SixteenBit},
        {"16-bit TIFF", writeWithQt(dir, "deep.tif", filled(QImage::Format_RGBA64, qRgb(1, 2, 3))),
         FileProblem::SixteenBit},
        {"16-bit PPM", dir.write("deep.ppm", "P6\n2 1\n65535\n" + std::string(12, '\x10')),
         FileProblem::SixteenBit},
        {"16-bit PGM with a comment", dir.write("deep.pgm", "P5\n# made by hand\n2 1 1023\n" + std::string(4, '\x01')),
         FileProblem::SixteenBit},
        {"translucent PNG", writeWithQt(dir, "glass.png", translucent), FileProblem::Translucent},
        {"translucent TIFF", writeWithQt(dir, "glass.tif", translucent), FileProblem::Translucent},
        {"PPM claiming 60000 x 60000", dir.write("huge.ppm", "P6\n60000 60000\n255\n" + std::string(64, '\0')),
         FileProblem::TooLarge},
        {"no known format", dir.write("noise.png", "this is not a picture at all, only words"),
         FileProblem::NotPicture},
        {"zero bytes", dir.write("empty.png", ""), FileProblem::Empty},
        {"truncated PNG", dir.write("cut.png", test::readFile(deepPng).substr(0, 40)),
         FileProblem::Undecodable},
        // Found by the fuzzer: Qt's JPEG reader reports a pixel format outside
        // its enumeration for this header (caught under the sanitizers).
        {"JPEG with a damaged header",
         dir.write("damaged.jpg", std::string("\xff\xd8\xff\x0a\x13P3IS,55555555'U", 20)),
         FileProblem::Undecodable},
    };
    for (const Row &r : rows) {
        const auto loaded = loadPicture(r.path);
        EXPECT_FALSE(loaded.ok()) << r.name;
        EXPECT_EQ(loaded.error().problem, r.problem) << r.name << ": " << loaded.error().reason();
        const std::string message = loaded.error().message();
        EXPECT_EQ(message.find('\n'), std::string::npos) << r.name << ": one line";
        EXPECT_EQ(message.rfind(r.path, 0), 0u) << r.name << ": names the file";
    }
}

TEST(PictureFile, TheNameChoosesTheFormat) {
    struct Row {
        const char *name;
        std::optional<FileFormat> format;
        std::optional<FileProblem> problem = std::nullopt;
    };
    const Row rows[] = {
        {"out.bmp", FileFormat::Bmp},
        {"out", FileFormat::Bmp},
        {"folder.v2/out", FileFormat::Bmp},
        {"OUT.PNG", FileFormat::Png},
        {"out.tif", FileFormat::Tiff},
        {"out.Tiff", FileFormat::Tiff},
        {"out.ppm", FileFormat::Ppm},
        {"out.pgm", FileFormat::Pgm},
        {"out.jpg", std::nullopt, FileProblem::LossyFormat},
        {"out.JPEG", std::nullopt, FileProblem::LossyFormat},
        {"out.webp", std::nullopt, FileProblem::LossyFormat},
        {"out.avif", std::nullopt, FileProblem::LossyFormat},
        {"out.xyz", std::nullopt, FileProblem::UnknownFormat},
        {"out.gif", std::nullopt, FileProblem::UnknownFormat},
    };
    for (const Row &r : rows) {
        const auto format = formatForName(r.name);
        if (r.format) {
            EXPECT_TRUE(format && *format == *r.format) << r.name;
        } else {
            ASSERT_FALSE(format) << r.name;
            EXPECT_EQ(format.error().problem, r.problem) << r.name;
        }
    }
    EXPECT_EQ(formatForName("a.jpg").error().message(),
              "a.jpg: .jpg is a lossy format, and lossy compression destroys the watermark; "
              "name it .bmp, .png, .tif, .tiff, .ppm or .pgm");
}

TEST(PictureFile, ColourIsNotWrittenAsPgm) {
    test::TempDir dir;
    const Image colour = test::randomImage(4, 4, 8);
    const std::string path = dir.file("colour.pgm");
    const auto saved = savePictures({{&colour, path, PictureKind::Rgb24, FileFormat::Pgm}});
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.error().problem, FileProblem::ColourInGrey);
    EXPECT_EQ(saved.error().message(), path + ": a PGM file holds grey pictures only, and this one has colour");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "nothing written";
}

} // namespace
} // namespace ombrel
