// SPDX-License-Identifier: Apache-2.0
// Hides a drawn disc in a drawn gradient, extracts it and measures both.
#include <ombrel/ombrel.h>

#include <cstdio>

int main() {
    ombrel::Pixels cover(1024, 768, 3), watermark(512, 512, 1);
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 1024; ++x)
            for (int c = 0; c < 3; ++c)
                cover.data[(y * 1024 + x) * 3 + c] = static_cast<std::uint8_t>((x + y + 80 * c) / 8);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x)
            watermark.data[y * 512 + x] = (x - 256) * (x - 256) + (y - 256) * (y - 256) < 150 * 150 ? 255 : 0;
    try {
        const ombrel::Embedded marked = ombrel::embed(cover, watermark, 0);
        const ombrel::Pixels found = ombrel::extract(marked.image);
        std::printf("PSNR %.2f dB, NC %.4f\n", marked.psnr, ombrel::nc(watermark, found));
    } catch (const ombrel::Error &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
