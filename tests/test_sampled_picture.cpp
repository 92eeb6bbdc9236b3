// SPDX-License-Identifier: Apache-2.0
// Pictures as their files store them: every layout through every format that
// holds it and back, sample for sample; the layouts a format cannot hold
// refused with nothing written; what of a file's other contents is kept.

#include "imaging/sampled_picture.h"
#include "support/folder.h"
#include "support/process.h"

#include <QColorSpace>
#include <QColor>
#include <QImage>
#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include <sys/resource.h>
#include <unistd.h>

namespace ombrel {
namespace {

using test::readFile;
using test::TempDir;

// Random samples that use every bit, 16-bit ones the low byte too.
SampledPicture randomPicture(int width, int height, int channels, int depth, unsigned seed = 7) {
    SampledPicture p;
    p.width = width;
    p.height = height;
    p.channels = channels;
    p.bitDepth = depth;
    std::mt19937 random(seed);
    if (depth == 16) {
        p.wide.resize(p.samples());
        for (auto &s : p.wide)
            s = static_cast<std::uint16_t>(random());
    } else {
        p.narrow.resize(p.samples());
        for (auto &s : p.narrow)
            s = static_cast<std::uint8_t>(random());
    }
    return p;
}

void expectSameSamples(const SampledPicture &got, const SampledPicture &want) {
    EXPECT_EQ(got.width, want.width);
    EXPECT_EQ(got.height, want.height);
    EXPECT_EQ(got.channels, want.channels);
    EXPECT_EQ(got.bitDepth, want.bitDepth);
    EXPECT_TRUE(got.narrow == want.narrow && got.wide == want.wide) << "samples differ";
}

TEST(SampledPicture, EveryLayoutThroughEveryFormatThatHoldsIt) {
    struct Row {
        const char *name;
        FileFormat format;
        int channels, depth;
    };
    const Row rows[] = {
        {"png grey 8", FileFormat::Png, 1, 8},       {"png grey 16", FileFormat::Png, 1, 16},
        {"png grey-alpha 8", FileFormat::Png, 2, 8}, {"png grey-alpha 16", FileFormat::Png, 2, 16},
        {"png rgb 8", FileFormat::Png, 3, 8},        {"png rgb 16", FileFormat::Png, 3, 16},
        {"png rgba 8", FileFormat::Png, 4, 8},       {"png rgba 16", FileFormat::Png, 4, 16},
        {"tif grey 8", FileFormat::Tiff, 1, 8},      {"tif grey 16", FileFormat::Tiff, 1, 16},
        {"tif grey-alpha 16", FileFormat::Tiff, 2, 16}, {"tif rgb 8", FileFormat::Tiff, 3, 8},
        {"tif rgb 16", FileFormat::Tiff, 3, 16},     {"tif rgba 16", FileFormat::Tiff, 4, 16},
        {"bmp grey 8", FileFormat::Bmp, 1, 8},       {"bmp rgb 8", FileFormat::Bmp, 3, 8},
        {"ppm rgb 8", FileFormat::Ppm, 3, 8},        {"ppm rgb 16", FileFormat::Ppm, 3, 16},
        {"pgm grey 8", FileFormat::Pgm, 1, 8},       {"pgm grey 16", FileFormat::Pgm, 1, 16},
    };
    TempDir dir;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        // 13 x 9: rows of odd lengths, no whole number of words.
        const SampledPicture picture = randomPicture(13, 9, row.channels, row.depth);
        const std::string path = dir.file("p");
        ASSERT_TRUE(saveSamples(picture, path, row.format, Durability::Renamed));
        const LoadedSamples back = loadSamples(path);
        ASSERT_TRUE(back) << back.error().message();
        expectSameSamples(*back, picture);
        EXPECT_EQ(back->readAs, row.format);
        EXPECT_EQ(test::entriesOf(dir.path()), (std::set<std::string>{"p"})) << "no temporary left";
    }
}

// 16-bit samples in the file as the formats say: big-endian in PNG and PPM.
TEST(SampledPicture, SixteenBitsAreStoredBigEndianWhereTheFormatSaysSo) {
    SampledPicture p = randomPicture(1, 1, 1, 16);
    p.wide = {0x1234};
    TempDir dir;
    ASSERT_TRUE(saveSamples(p, dir.file("a.pgm"), FileFormat::Pgm, Durability::Renamed));
    EXPECT_EQ(readFile(dir.file("a.pgm")), std::string("P5\n1 1\n65535\n\x12\x34", 15));
    // Qt reads the PNG too (as 16-bit grey): the value is the value.
    ASSERT_TRUE(saveSamples(p, dir.file("a.png"), FileFormat::Png, Durability::Renamed));
    const QImage qt(QString::fromStdString(dir.file("a.png")));
    ASSERT_EQ(qt.format(), QImage::Format_Grayscale16);
    EXPECT_EQ(reinterpret_cast<const std::uint16_t *>(qt.constScanLine(0))[0], 0x1234);
}

TEST(SampledPicture, LayoutsAFormatCannotHoldAreRefusedAndNothingIsWritten) {
    struct Row {
        const char *name;
        FileFormat format;
        int channels, depth;
        std::string words;
    };
    const Row rows[] = {
        {"16 bits to bmp", FileFormat::Bmp, 3, 16,
         "a BMP holds 8-bit grey or RGB without alpha, and this picture is RGB, 16 bits a sample; name it .png or "
         ".tif"},
        {"alpha to bmp", FileFormat::Bmp, 4, 8,
         "a BMP holds 8-bit grey or RGB without alpha, and this picture is RGBA, 8 bits a sample; name it .png or "
         ".tif"},
        {"grey to ppm", FileFormat::Ppm, 1, 8,
         "a PPM holds RGB, and this picture is grey, 8 bits a sample; name it .pgm, .png or .tif"},
        {"rgba to ppm", FileFormat::Ppm, 4, 16,
         "a PPM holds RGB, and this picture is RGBA, 16 bits a sample; name it .png or .tif"},
        {"rgb to pgm", FileFormat::Pgm, 3, 8,
         "a PGM holds grey, and this picture is RGB, 8 bits a sample; name it .ppm, .png or .tif"},
        {"grey-alpha to pgm", FileFormat::Pgm, 2, 8,
         "a PGM holds grey, and this picture is grey and alpha, 8 bits a sample; name it .png or .tif"},
    };
    TempDir dir;
    const std::string path = dir.write("out", "what stood here");
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const auto saved = saveSamples(randomPicture(4, 4, row.channels, row.depth), path, row.format,
                                       Durability::Renamed);
        ASSERT_FALSE(saved);
        EXPECT_EQ(saved.error().message(), path + ": cannot be written: " + row.words);
        EXPECT_EQ(readFile(path), "what stood here");
    }
}

TEST(SampledPicture, FilesWithNoSamplesAsStoredAreRefusedInOneLine) {
    TempDir dir;
    struct Row {
        const char *name;
        std::string bytes;
        std::string reason;
    };
    const Row rows[] = {
        {"pgm of maximum 1000", "P5\n1 1\n1000\n\x01\x02",
         "not a readable PPM/PGM for the seal (its maximum is 1000; 255 and 65535 are read as stored)"},
        {"truncated ppm", "P6\n4 4\n255\nabc", "not a readable PPM/PGM (truncated pixel data)"},
        {"jpeg", "\xff\xd8\xff\xe0 not really",
         "not a readable picture for the seal (a JPEG: its samples are already lossy; seal the lossless "
         "original)"},
        {"empty", "", "the file is empty"},
        {"text", "hello there", "not a picture this program reads (BMP, PNG, TIFF, PPM or PGM)"},
        {"absurd pgm", "P5\n100000 100000\n255\n", "the picture claims 100000 x 100000 pixels, more than this program accepts"},
        // Sides whose product overflows a 64-bit count.
        {"overflowing pgm", "P5\n53\n6553556555535355655\n255\n",
         "the picture claims 53 x 6553556555535355655 pixels, more than this program accepts"},
        // Within the size limit, but a few bytes can hold no such picture:
        // refused before a picture-sized buffer is taken.
        {"short binary pgm", "P5\n16384 16384\n65535\n\x01\x02", "not a readable PPM/PGM (truncated pixel data)"},
        {"short text ppm", "P3\n16384 16384\n255\n1 2 3", "not a readable PPM/PGM (truncated pixel data)"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = dir.write("f", row.bytes);
        const LoadedSamples loaded = loadSamples(path);
        ASSERT_FALSE(loaded);
        EXPECT_EQ(loaded.error().message(), path + ": " + row.reason);
    }
    // The text forms at their tightest still read: one digit and one blank a sample.
    const LoadedSamples text = loadSamples(dir.write("tight.ppm", "P3\n2 1\n255\n9 0 7 1 2 3"));
    ASSERT_TRUE(text) << text.error().message();
    EXPECT_EQ(std::vector<std::uint8_t>(text->narrow), (std::vector<std::uint8_t>{9, 0, 7, 1, 2, 3}));
    // A PNG cut short says so in libpng's words, and nothing reaches stderr.
    SampledPicture p = randomPicture(64, 64, 3, 8);
    ASSERT_TRUE(saveSamples(p, dir.file("whole.png"), FileFormat::Png, Durability::Renamed));
    const std::string whole = readFile(dir.file("whole.png"));
    const std::string cut = dir.write("cut.png", whole.substr(0, whole.size() / 2));
    const LoadedSamples loaded = loadSamples(cut);
    ASSERT_FALSE(loaded);
    EXPECT_EQ(loaded.error().message(), cut + ": not a readable picture (the file ends early)");
}

// The most this process has held in memory so far.
long peakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::string bigEndian32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

std::string pngChunk(const std::string &type, const std::string &data) {
    const std::string body = type + data;
    const auto crc = crc32(0, reinterpret_cast<const Bytef *>(body.data()), static_cast<uInt>(body.size()));
    return bigEndian32(static_cast<std::uint32_t>(data.size())) + body + bigEndian32(static_cast<std::uint32_t>(crc));
}

// A header of a few bytes may claim a picture of gigabytes: the reader
// refuses it having taken memory for what came, not for what was claimed.
TEST(SampledPicture, AHugeClaimOverAFewBytesCostsFewBytes) {
    TempDir dir;
    // 20000 x 20000 RGBA at 16 bits: 3 GiB of samples, over 40 bytes of data.
    const std::string ihdr = bigEndian32(20000) + bigEndian32(20000) + std::string("\x10\x06\0\0\0", 5);
    std::string zeros(100, '\0'), deflated(200, '\0');
    uLongf size = static_cast<uLongf>(deflated.size());
    ASSERT_EQ(compress(reinterpret_cast<Bytef *>(deflated.data()), &size, reinterpret_cast<const Bytef *>(zeros.data()),
                       static_cast<uLong>(zeros.size())), Z_OK);
    deflated.resize(size);
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr) + pngChunk("IDAT", deflated) +
                            pngChunk("IEND", "");
    // The same claim in an uncompressed TIFF of one strip.
    std::string tiff("II*\0\x08\0\0\0", 8);
    const auto le16 = [&](std::uint16_t v) { tiff += static_cast<char>(v), tiff += static_cast<char>(v >> 8); };
    const auto le32 = [&](std::uint32_t v) { le16(static_cast<std::uint16_t>(v)), le16(static_cast<std::uint16_t>(v >> 16)); };
    const std::pair<std::uint16_t, std::uint32_t> tags[] = {{256, 20000}, {257, 20000}, {258, 16}, {259, 1}, {262, 2},
                                                            {273, 200},   {277, 3},     {278, 20000}, {279, 16}, {284, 1}};
    le16(static_cast<std::uint16_t>(std::size(tags)));
    for (const auto &[tag, value] : tags) {
        le16(tag), le16(4), le32(1), le32(value); // every value as a LONG
    }
    le32(0);
    tiff.resize(200, '\0');
    tiff += std::string(16, '\x01');
    struct Row {
        const char *name;
        std::string bytes;
        std::string reason; // the start of the refusal
    };
    const Row rows[] = {
        {"png", png, "not a readable PNG (the file is too short for the size it claims)"},
        {"tiff", tiff, "not a readable TIFF ("},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = dir.write(row.name, row.bytes);
        const long before = peakResidentKiB();
        const LoadedSamples loaded = loadSamples(path);
        ASSERT_FALSE(loaded);
        EXPECT_EQ(loaded.error().message().rfind(path + ": " + row.reason, 0), 0u) << loaded.error().message();
        EXPECT_LT(peakResidentKiB() - before, 64 * 1024) << "KiB more at the peak";
    }
}

// The names of a PNG's chunks, in order.
std::vector<std::string> pngChunks(const std::string &bytes) {
    std::vector<std::string> names;
    for (std::size_t at = 8; at + 8 <= bytes.size();) {
        const auto *b = reinterpret_cast<const unsigned char *>(bytes.data() + at);
        const std::size_t length = std::size_t(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3];
        names.push_back(bytes.substr(at + 4, 4));
        at += 12 + length;
    }
    return names;
}

// A PNG with the contents a camera or an editor adds: text, EXIF, a colour
// profile, gamma and chromaticities.
void writeRichPng(const std::string &path, const SampledPicture &p, const std::string &icc) {
    std::FILE *file = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(file);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, p.width, p.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_iCCP(png, info, "camera profile", 0, reinterpret_cast<png_const_bytep>(icc.data()),
                 static_cast<png_uint_32>(icc.size()));
    png_set_gAMA_fixed(png, info, 45455);
    png_set_cHRM_fixed(png, info, 31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000);
    png_text text{};
    text.compression = PNG_TEXT_COMPRESSION_NONE;
    text.key = const_cast<char *>("Author");
    text.text = const_cast<char *>("someone");
    png_set_text(png, info, &text, 1);
    png_byte exif[] = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0};
    png_set_eXIf_1(png, info, sizeof exif, exif);
    png_write_info(png, info);
    for (int y = 0; y < p.height; ++y)
        png_write_row(png, p.narrow.data() + static_cast<std::size_t>(y) * p.width * 3);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

TEST(SampledPicture, KeepsTheColourProfileAndDropsTextAndExif) {
    TempDir dir;
    const SampledPicture p = randomPicture(8, 8, 3, 8);
    const QByteArray icc = QColorSpace(QColorSpace::SRgb).iccProfile();
    const std::string profile(icc.constData(), static_cast<std::size_t>(icc.size()));
    writeRichPng(dir.file("rich.png"), p, profile);
    const std::vector<std::string> before = pngChunks(readFile(dir.file("rich.png")));
    for (const char *chunk : {"iCCP", "gAMA", "cHRM", "tEXt", "eXIf"})
        ASSERT_NE(std::find(before.begin(), before.end(), chunk), before.end()) << chunk << " in the fixture";

    LoadedSamples read = loadSamples(dir.file("rich.png"));
    ASSERT_TRUE(read) << read.error().message();
    EXPECT_EQ(read->colour.iccProfile, profile);
    ASSERT_TRUE(saveSamples(*read, dir.file("out.png"), FileFormat::Png, Durability::Renamed));
    EXPECT_EQ(pngChunks(readFile(dir.file("out.png"))),
              (std::vector<std::string>{"IHDR", "gAMA", "iCCP", "cHRM", "pHYs", "IDAT", "IEND"}));
    LoadedSamples again = loadSamples(dir.file("out.png"));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->colour.iccProfile, profile);
    EXPECT_EQ(again->colour.iccName, "camera profile");

    // Into a TIFF the profile goes along, as its ICC tag; nothing descriptive.
    ASSERT_TRUE(saveSamples(*read, dir.file("out.tif"), FileFormat::Tiff, Durability::Renamed));
    TIFF *tiff = TIFFOpen(dir.file("out.tif").c_str(), "r");
    ASSERT_TRUE(tiff);
    std::uint32_t length = 0;
    void *data = nullptr;
    ASSERT_TRUE(TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &length, &data));
    EXPECT_EQ(std::string(static_cast<const char *>(data), length), profile);
    char *description = nullptr;
    EXPECT_FALSE(TIFFGetField(tiff, TIFFTAG_IMAGEDESCRIPTION, &description));
    TIFFClose(tiff);
}

// What the files of other programs hold: a TIFF with a description, an
// LZW strip and an ICC profile keeps the profile and its compression, and
// drops the description.
TEST(SampledPicture, ATiffKeepsItsProfileAndCompressionAndDropsItsDescription) {
    TempDir dir;
    const SampledPicture p = randomPicture(21, 11, 4, 16);
    const std::string path = dir.file("in.tif");
    TIFF *tiff = TIFFOpen(path.c_str(), "w");
    ASSERT_TRUE(tiff);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, 21);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 11);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    const std::uint16_t alpha = EXTRASAMPLE_ASSOCALPHA; // premultiplied, and kept so
    TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &alpha);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tiff, TIFFTAG_IMAGEDESCRIPTION, "a day at the sea");
    const char profile[] = "not really a profile, but bytes to carry";
    TIFFSetField(tiff, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(sizeof profile), profile);
    std::vector<std::uint16_t> row(21 * 4);
    for (int y = 0; y < 11; ++y) {
        std::copy_n(p.wide.begin() + y * 21 * 4, 21 * 4, row.begin());
        ASSERT_GE(TIFFWriteScanline(tiff, row.data(), y, 0), 0);
    }
    TIFFClose(tiff);

    LoadedSamples read = loadSamples(path);
    ASSERT_TRUE(read) << read.error().message();
    expectSameSamples(*read, p);
    ASSERT_TRUE(saveSamples(*read, dir.file("out.tif"), FileFormat::Tiff, Durability::Renamed));
    tiff = TIFFOpen(dir.file("out.tif").c_str(), "r");
    ASSERT_TRUE(tiff);
    std::uint16_t compression = 0;
    TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
    EXPECT_EQ(compression, COMPRESSION_LZW);
    std::uint16_t count = 0, *kinds = nullptr;
    ASSERT_TRUE(TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &count, &kinds));
    ASSERT_EQ(count, 1);
    EXPECT_EQ(kinds[0], EXTRASAMPLE_ASSOCALPHA);
    std::uint32_t length = 0;
    void *data = nullptr;
    ASSERT_TRUE(TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &length, &data));
    EXPECT_EQ(std::string(static_cast<const char *>(data), length), std::string(profile, sizeof profile));
    char *description = nullptr;
    EXPECT_FALSE(TIFFGetField(tiff, TIFFTAG_IMAGEDESCRIPTION, &description));
    TIFFClose(tiff);
    LoadedSamples again = loadSamples(dir.file("out.tif"));
    ASSERT_TRUE(again);
    expectSameSamples(*again, p);
}

// A writable picture in a folder that refuses new files (someone else's
// folder, a shared one) is rewritten in place, in every format; as root the
// save runs as nobody, for whom the folder's permissions hold.
TEST(SampledPicture, AWritableFileInALockedFolderIsRewrittenInPlace) {
    namespace fs = std::filesystem;
    TempDir dir;
    const fs::path locked = dir.path() / "locked";
    fs::create_directory(locked);
    const SampledPicture p = randomPicture(9, 7, 3, 16);
    const std::vector<std::pair<std::string, FileFormat>> files = {
        {"a.png", FileFormat::Png}, {"a.tif", FileFormat::Tiff}, {"a.ppm", FileFormat::Ppm}};
    for (const auto &[name, format] : files) {
        std::ofstream((locked / name).string()) << std::string(100000, 'x'); // longer than the picture
        fs::permissions(locked / name, fs::perms::all);
    }
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    const test::Ending end = test::Child::copy([&] {
                                 if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                                     return 100;
                                 int failures = 0;
                                 for (const auto &[name, format] : files)
                                     if (!saveSamples(p, (locked / name).string(), format, Durability::Synced))
                                         failures |= 1;
                                 if (saveSamples(p, (locked / "new.png").string(), FileFormat::Png,
                                                 Durability::Synced))
                                     failures |= 2;
                                 return failures;
                             }).wait();
    fs::permissions(locked, fs::perms::owner_all, fs::perm_options::add);
    ASSERT_TRUE(end.exited);
    EXPECT_EQ(end.status, 0) << "1: a file was not rewritten, 2: a new file was made";
    for (const auto &[name, format] : files) {
        SCOPED_TRACE(name);
        const LoadedSamples back = loadSamples((locked / name).string());
        ASSERT_TRUE(back) << back.error().message();
        expectSameSamples(*back, p);
    }
    EXPECT_EQ(test::entriesOf(locked), (std::set<std::string>{"a.png", "a.ppm", "a.tif"}));
}

// The picture as libpng writes it with its own defaults, the writer the PNG
// writer's image data must match.
std::string writtenByLibpng(const SampledPicture &p, const std::string &path) {
    static constexpr int kTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                     PNG_COLOR_TYPE_RGB_ALPHA};
    std::FILE *file = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, p.width, p.height, p.bitDepth, kTypes[p.channels - 1], PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    if (p.bitDepth == 16)
        png_set_swap(png); // host order is little-endian here
    const std::size_t row = static_cast<std::size_t>(p.width) * p.channels;
    for (int y = 0; y < p.height; ++y)
        png_write_row(png, p.bitDepth == 16 ? reinterpret_cast<png_const_bytep>(p.wide.data() + y * row)
                                            : p.narrow.data() + y * row);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return readFile(path);
}

// A PNG's image data: its IDAT chunks joined and inflated, the zlib stream's
// Adler-32 checked; empty when the stream is damaged.
std::string filteredRows(const std::string &png, std::size_t size) {
    std::string deflated;
    for (std::size_t at = 8; at + 8 <= png.size();) {
        const auto *b = reinterpret_cast<const unsigned char *>(png.data() + at);
        const std::size_t length = std::size_t(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3];
        if (png.compare(at + 4, 4, "IDAT") == 0)
            deflated += png.substr(at + 8, length);
        at += 12 + length;
    }
    std::string rows(size + 1, '\0'); // one more, to see a stream that runs on
    uLongf got = rows.size();
    if (uncompress(reinterpret_cast<Bytef *>(rows.data()), &got, reinterpret_cast<const Bytef *>(deflated.data()),
                   deflated.size()) != Z_OK || got != size)
        return {};
    rows.resize(got);
    return rows;
}

// How many of the picture's samples Qt reads otherwise, every one widened to
// 16 bits as Qt does.
std::size_t qtDifferences(const std::string &path, const SampledPicture &p) {
    const QImage read(QString::fromStdString(path));
    if (read.isNull() || read.width() != p.width || read.height() != p.height)
        return p.samples() + 1;
    const QImage qt = read.convertToFormat(QImage::Format_RGBA64);
    std::size_t wrong = 0;
    for (int y = 0; y < p.height; ++y) {
        const auto *pixel = reinterpret_cast<const std::uint16_t *>(qt.constScanLine(y));
        for (int x = 0; x < p.width; ++x, pixel += 4) {
            const std::size_t at = (static_cast<std::size_t>(y) * p.width + x) * p.channels;
            const auto sample = [&](int c) { return p.bitDepth == 16 ? p.at(at + c) : p.at(at + c) * 257u; };
            const bool grey = p.channels <= 2;
            for (int c = 0; c < 3; ++c)
                wrong += pixel[c] != sample(grey ? 0 : c);
            wrong += pixel[3] != (p.hasAlpha() ? sample(p.channels - 1) : 65535u);
        }
    }
    return wrong;
}

// The PNG writer deflates its image data in stripes on every core: what it
// writes reads back the same through libpng and Qt, its rows are filtered
// exactly as libpng filters them, and it is no larger than libpng's own.
TEST(SampledPicture, ThePngWritersStripesJoinIntoLibpngsImageData) {
    struct Row {
        const char *name;
        int width, height, channels, depth;
    };
    const Row rows[] = {
        {"rgb 8, five stripes", 700, 500, 3, 8},
        {"rgba 16, eleven stripes", 700, 500, 4, 16},
        {"grey 16", 700, 500, 1, 16},
        {"grey-alpha 8", 600, 400, 2, 8},
        {"one pixel", 1, 1, 3, 8},
        {"three rows, two stripes", 90000, 3, 1, 8},
        {"two rows, two stripes", 20000, 2, 4, 16},
    };
    TempDir dir;
    std::vector<std::pair<std::string, SampledPicture>> pictures;
    for (const Row &row : rows)
        pictures.emplace_back(row.name, randomPicture(row.width, row.height, row.channels, row.depth, 11));
    // Photographs, whose rows each filter suits differently.
    for (const char *name : {"astronaut.png", "coffee.png", "camera.png"}) {
        LoadedSamples photo = loadSamples(std::string("/usr/lib/python3/dist-packages/skimage/data/") + name);
        ASSERT_TRUE(photo) << photo.error().message();
        pictures.emplace_back(name, std::move(*photo));
    }
    for (const auto &[name, picture] : pictures) {
        SCOPED_TRACE(name);
        const std::string ours = dir.file("ours.png");
        ASSERT_TRUE(saveSamples(picture, ours, FileFormat::Png, Durability::Renamed));
        const LoadedSamples back = loadSamples(ours);
        ASSERT_TRUE(back) << back.error().message();
        expectSameSamples(*back, picture);
        EXPECT_EQ(qtDifferences(ours, picture), 0u);

        const std::string bytes = readFile(ours), libpng = writtenByLibpng(picture, dir.file("libpng.png"));
        const std::size_t size =
            static_cast<std::size_t>(picture.height) * (1 + picture.width * picture.channels * picture.bitDepth / 8);
        const std::string filtered = filteredRows(bytes, size);
        ASSERT_FALSE(filtered.empty()) << "a damaged zlib stream";
        EXPECT_TRUE(filtered == filteredRows(libpng, size)) << "rows filtered otherwise than by libpng";
        EXPECT_LE(bytes.size(), libpng.size() * 103 / 100 + 200) << "libpng's file has " << libpng.size();
    }
}

// Palette and low-depth PNGs have no samples of their own: read as the
// colours they show, 8 bits a sample.
TEST(SampledPicture, APalettePngIsReadAsItsColours) {
    const LoadedSamples read =
        loadSamples("/usr/lib/python3/dist-packages/skimage/data/foo3x5x4indexed.png");
    ASSERT_TRUE(read) << read.error().message();
    EXPECT_EQ(read->width, 5);
    EXPECT_EQ(read->height, 3);
    EXPECT_EQ(read->bitDepth, 8);
    EXPECT_GE(read->channels, 3);
}

} // namespace
} // namespace ombrel
