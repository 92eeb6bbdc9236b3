// SPDX-License-Identifier: Apache-2.0
#include "cli/cli.h"

#include "imaging/library_noise.h"
#include "imaging/picture_in.h"

#include <QImageReader>

#include <iostream>
#include <string_view>

int main(int argc, char **argv) {
    // The image libraries' warnings stay off the terminal; the tool's own
    // words reach stderr whole, never caught with that noise.
    ombrel::keepLibraryNoiseOffStderr();
    ombrel::LockedStderr locked;
    std::ostream err(&locked);
    // The seal takes photographs as large as they come: Qt's codecs may then
    // decode 100 megapixels at 16-bit RGBA (800 MB). The limit is the
    // process's, so the tool sets it, never the library.
    if (argc > 1 && (std::string_view(argv[1]) == "seal" || std::string_view(argv[1]) == "check"))
        QImageReader::setAllocationLimit(1024);
    err.setf(std::ios::unitbuf);
    return ombrel::cli::run(std::vector<std::string>(argv + 1, argv + argc), std::cout, err);
}
