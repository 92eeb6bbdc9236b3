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
    for (const auto &s : ombrel::test::everyLayout()) {
        std::ofstream out(std::string(argv[1]) + "/" + s.name + ".bmp", std::ios::binary);
        out << ombrel::test::makeBmp(s.layout);
        if (!out) {
            std::cerr << "cannot write " << s.name << "\n";
            return 1;
        }
    }
    return 0;
}
