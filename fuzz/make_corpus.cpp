// SPDX-License-Identifier: Apache-2.0
// Writes a target's seed corpus into the folder given: what each reader
// meets when all is well, for the fuzzer to damage.
//   make_corpus TARGET DIR
#include "resume_run.h"
#include "support/bmp_builder.h"

#include "imaging/picture_out.h"
#include "imaging/sampled_picture.h"

#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

using namespace ombrel;

bool write(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    if (!out)
        std::cerr << "cannot write " << path << "\n";
    return static_cast<bool>(out);
}

// Small valid bitmaps of every layout the loader accepts.
bool bitmaps(const std::string &dir) {
    for (const auto &s : test::everyLayout())
        if (!write(dir + "/" + s.name + ".bmp", test::makeBmp(s.layout)))
            return false;
    return true;
}

// The bitmaps, and a small picture in colour and in grey in every other
// format the tool writes.
bool pictures(const std::string &dir) {
    const Image colour = test::randomImage(16, 12, 1), grey = test::randomImage(16, 12, 2, true);
    const std::vector<PictureToWrite> files = {
        {&colour, dir + "/colour.png", PictureKind::Rgb24, FileFormat::Png},
        {&grey, dir + "/grey.png", PictureKind::Rgb24, FileFormat::Png},
        {&colour, dir + "/colour.tif", PictureKind::Rgb24, FileFormat::Tiff},
        {&grey, dir + "/grey.tif", PictureKind::Rgb24, FileFormat::Tiff},
        {&colour, dir + "/colour.ppm", PictureKind::Rgb24, FileFormat::Ppm},
        {&grey, dir + "/grey.pgm", PictureKind::Rgb24, FileFormat::Pgm},
    };
    if (!savePictures(files, Durability::Renamed)) {
        std::cerr << "cannot write the pictures in " << dir << "\n";
        return false;
    }
    return bitmaps(dir) && write(dir + "/plain.ppm", "P3\n2 1\n255\n255 0 0 0 0 255\n");
}

// The pictures, and 16-bit grey, grey and alpha, RGB and RGBA in PNG and
// TIFF, and 16-bit PPM/PGM, as the seal reads them.
bool deepPictures(const std::string &dir) {
    if (!pictures(dir))
        return false;
    for (const int channels : {1, 2, 3, 4}) {
        SampledPicture p;
        p.width = 5;
        p.height = 3;
        p.channels = channels;
        p.bitDepth = 16;
        for (std::size_t i = 0; i < p.samples(); ++i)
            p.wide.push_back(static_cast<std::uint16_t>(i * 4099u + 17u));
        const std::string stem = dir + "/deep" + std::to_string(channels);
        std::vector<std::pair<std::string, FileFormat>> outs = {{stem + ".png", FileFormat::Png},
                                                                {stem + ".tif", FileFormat::Tiff}};
        if (channels == 1)
            outs.push_back({stem + ".pgm", FileFormat::Pgm});
        if (channels == 3)
            outs.push_back({stem + ".ppm", FileFormat::Ppm});
        for (const auto &[path, format] : outs)
            if (!saveSamples(p, path, format, Durability::Renamed).ok()) {
                std::cerr << "cannot write " << path << "\n";
                return false;
            }
    }
    return true;
}

// The table of a whole run, one cut in a row, and the header alone.
bool tables(const std::string &dir) {
    const std::string whole = fuzz::wholeTable();
    return write(dir + "/whole.csv", whole) &&
           write(dir + "/cut.csv", whole.substr(0, whole.size() * 2 / 3)) &&
           write(dir + "/header.csv", whole.substr(0, whole.find('\n') + 1));
}

// Typical command lines, an argument a line.
bool commandLines(const std::string &dir) {
    const char *lines[] = {
        "embed\ncover.bmp\nwatermark.bmp\n-t\n5\n-o\nmarked.png\n--wavelet-picture\nw.bmp",
        "embed\ncovers\nmore.png\n--watermark\nw.bmp\n-o\nmarked/\n-j\n2\n--fit",
        "extract\nmarked.bmp\n-o\nmark.pgm\n--key-file\nk.key\n--id\nphoto-1",
        "verify\na.png\n--watermark\nw.bmp\n--passphrase-file\np.txt\n--id-from-name\n--quiet",
        "extract\na.bmp\nb.bmp\n--output=marks",
        "verify\nmarked.tif\n--watermark\nw.bmp\n--map\nmap.png\n--threshold=3",
        "verify\na.bmp\nb.bmp\n--watermark\nw.bmp\n--map\nmaps\n--csv\nv.csv",
        "attack\nmarked.bmp\n--watermark\nw.bmp\n--csv\na.csv\n--chart\nc.png\n--keep\nkept",
        "evaluate\ncovers\n--watermark\nw.bmp\n-t\n0,5\n-o\nrun\n--shard\n1/2\n--resume",
        "compare\na.bmp\nb.bmp",
        "demo\nout",
        "keygen\nk.key",
        "embed\n--help",
    };
    int n = 0;
    for (const char *line : lines)
        if (!write(dir + "/line-" + std::to_string(n++), line))
            return false;
    return true;
}

// Key and passphrase files: the first byte picks the reader (odd: a
// passphrase), the rest is the file.
bool keyFiles(const std::string &dir) {
    const std::string seeds[] = {
        std::string("\0", 1) + std::string(32, 'k'),
        std::string("\0", 1) + std::string(15, 's'),
        "\1correct horse battery staple\n",
        "\1with a CR\r\nsecond line\n",
        "\1\nthe first line is empty\n",
    };
    int n = 0;
    for (const std::string &seed : seeds)
        if (!write(dir + "/key-" + std::to_string(n++), seed))
            return false;
    return true;
}

// Seal inputs: width - 1, height - 1, channels, depth (0 for 8 bits, 1 for
// 16), then samples; sizes with and without edge remainders.
bool sealPictures(const std::string &dir) {
    const std::string seeds[] = {
        std::string("\0\0\1\0", 4) + "x",
        std::string("\7\7\3\0", 4) + std::string(192, '\x5a'),
        std::string("\x16\x10\4\1", 4) + "photographs keep sixteen bits",
        std::string("\x63\2\2\0", 4) + std::string(64, '\xff'),
        std::string("\6\x1e\1\1", 4) + std::string(30, '\0'),
    };
    int n = 0;
    for (const std::string &seed : seeds)
        if (!write(dir + "/seal-" + std::to_string(n++), seed))
            return false;
    return true;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::cerr << "usage: make_corpus TARGET DIR\n";
        return 2;
    }
    const std::string target = argv[1], dir = argv[2];
    bool (*seeds)(const std::string &) = nullptr;
    if (target == "fuzz_bitmap" || target == "fuzz_extract")
        seeds = bitmaps;
    else if (target == "fuzz_picture")
        seeds = pictures;
    else if (target == "fuzz_resume")
        seeds = tables;
    else if (target == "fuzz_options")
        seeds = commandLines;
    else if (target == "fuzz_key_reader")
        seeds = keyFiles;
    else if (target == "fuzz_samples")
        seeds = deepPictures;
    else if (target == "fuzz_seal")
        seeds = sealPictures;
    if (!seeds) {
        std::cerr << "make_corpus: no seeds for " << target << "\n";
        return 2;
    }
    return seeds(dir) ? 0 : 1;
}
