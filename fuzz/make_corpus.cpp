// Writes the seed corpus: small valid bitmaps of every layout the loader
// accepts, into the folder given.
#include "support/bmp_builder.h"

#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::cerr << "usage: make_corpus DIR\n";
        return 2;
    }
    using ombrel::test::BmpSpec;
    const struct {
        const char *name;
        BmpSpec spec;
    } seeds[] = {
        {"palette1", {9, 5, 1}},   {"palette4", {7, 3, 4}},   {"palette8", {5, 4, 8}},
        {"rgb555", {6, 3, 16}},    {"rgb24", {5, 3, 24}},     {"rgb32", {4, 4, 32}},
        {"topdown", {5, 3, 24, 40, true}},   {"os2", {5, 3, 24, 12}},
        {"v4", {5, 3, 24, 108}},   {"v5", {5, 3, 8, 124}},
        {"rle8", {6, 4, 8, 40, false, 1}},   {"rle4", {7, 4, 4, 40, false, 2}},
    };
    for (const auto &s : seeds) {
        std::ofstream out(std::string(argv[1]) + "/" + s.name + ".bmp", std::ios::binary);
        out << ombrel::test::makeBmp(s.spec);
        if (!out) {
            std::cerr << "cannot write " << s.name << "\n";
            return 1;
        }
    }
    return 0;
}
