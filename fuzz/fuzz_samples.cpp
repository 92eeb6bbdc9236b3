// SPDX-License-Identifier: Apache-2.0
// Any bytes through the reader of pictures as their files store them (libpng,
// libtiff, Qt's BMP, the PPM/PGM parser): it must refuse in one line or give
// samples that fill exactly the size it claims, never crash, hang or
// allocate past its cap. The reader takes a path, so each input is written
// to a file of this process's own first.
#include "imaging/sampled_picture.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

const std::string &inputPath() {
    static const std::string path = "/tmp/fuzz_samples." + std::to_string(getpid());
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string &path = inputPath();
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    const bool whole = std::fwrite(data, 1, size, f) == size;
    std::fclose(f);
    if (!whole)
        return 0;
    const ombrel::LoadedSamples loaded = ombrel::loadSamples(path);
    if (loaded.ok()) {
        const ombrel::SampledPicture &p = *loaded;
        const std::size_t held = p.bitDepth == 16 ? p.wide.size() : p.narrow.size();
        if (p.width <= 0 || p.height <= 0 || p.channels < 1 || p.channels > 4 ||
            (p.bitDepth != 8 && p.bitDepth != 16) ||
            static_cast<long long>(p.width) * p.height > ombrel::kMaxSampledPixels || held != p.samples())
            __builtin_trap();
    } else if (loaded.error().message().find('\n') != std::string::npos) {
        __builtin_trap(); // a refusal is one line
    }
    return 0;
}
