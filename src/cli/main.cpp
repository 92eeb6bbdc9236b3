#include "cli/cli.h"

#include "imaging/library_noise.h"

#include <iostream>

int main(int argc, char **argv) {
    // The tool's own words reach stderr whole, never caught with the noise
    // the image libraries make while a picture is read.
    ombrel::LockedStderr locked;
    std::ostream err(&locked);
    err.setf(std::ios::unitbuf);
    return ombrel::cli::run(std::vector<std::string>(argv + 1, argv + argc), std::cout, err);
}
