// SPDX-License-Identifier: Apache-2.0
#include "cli/cli.h"

#include "imaging/library_noise.h"
#include "imaging/picture_in.h"

#include <iostream>

int main(int argc, char **argv) {
    // The image libraries' warnings stay off the terminal; the tool's own
    // words reach stderr whole, never caught with that noise.
    ombrel::keepLibraryNoiseOffStderr();
    ombrel::LockedStderr locked;
    std::ostream err(&locked);
    err.setf(std::ios::unitbuf);
    return ombrel::cli::run(std::vector<std::string>(argv + 1, argv + argc), std::cout, err);
}
