// SPDX-License-Identifier: Apache-2.0
// Any bytes through the bitmap loader: it must refuse or decode, never crash,
// hang or allocate past its cap.
#include "imaging/picture_in.h"
#include "imaging/picture_out.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const ombrel::LoadedPicture loaded =
        ombrel::decodeBitmap(reinterpret_cast<const char *>(data), size, "fuzz.bmp");
    if (loaded.ok() && static_cast<long long>(loaded->width) * loaded->height >
                           ombrel::kMaxPicturePixels)
        __builtin_trap();
    return 0;
}
