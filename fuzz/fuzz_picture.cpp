// SPDX-License-Identifier: Apache-2.0
// Any bytes through the tool's picture intake, by content (BMP, PNG, TIFF,
// PPM/PGM and whatever else Qt's plugins know): it must refuse or decode,
// never crash, hang or allocate past its cap. The intake keeps the libraries'
// stderr while it decodes, so a failure inside shows no report: run the
// target on the input it saved under gdb.
#include "imaging/file_error.h"
#include "imaging/picture_in.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const ombrel::LoadedPicture loaded =
        ombrel::decodePicture(reinterpret_cast<const char *>(data), size, "fuzz.picture");
    if (loaded.ok()) {
        const ombrel::Image &image = *loaded;
        if (image.width <= 0 || image.height <= 0 ||
            static_cast<long long>(image.width) * image.height > ombrel::kMaxPicturePixels ||
            image.pixels.size() != static_cast<std::size_t>(image.width) * image.height)
            __builtin_trap();
    } else if (loaded.error().message().find('\n') != std::string::npos) {
        __builtin_trap(); // a refusal is one line
    }
    return 0;
}
