// SPDX-License-Identifier: Apache-2.0
#include "imaging/bmp_header.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace ombrel {

namespace {

constexpr long long kFileHeaderSize = 14;
constexpr long long kMaxRlePixelsPerByte = 256;

std::uint32_t le32(const char *p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v; // little-endian hosts only, as Qt's own reader assumes here
}

std::int32_t les32(const char *p) { return static_cast<std::int32_t>(le32(p)); }
std::uint16_t le16(const char *p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

FileError refused(FileProblem problem, std::string detail = {}) { return {{}, problem, std::move(detail)}; }

} // namespace

Result<int, FileError> checkBmpHeader(std::string_view head, long long fileSize) {
    const auto size = static_cast<long long>(head.size());
    if (size < 2 || head[0] != 'B' || head[1] != 'M')
        return refused(FileProblem::NotBitmap);
    if (size < kFileHeaderSize + 4)
        return refused(FileProblem::TruncatedHeader);
    const char *p = head.data();
    const std::uint32_t pixelOffset = le32(p + 10);
    const std::uint32_t infoSize = le32(p + 14);
    long long width = 0, height = 0;
    int bits = 0;
    std::uint32_t compression = 0;
    if (infoSize == 12) {
        if (size < kFileHeaderSize + 12)
            return refused(FileProblem::TruncatedHeader);
        width = le16(p + 18);
        height = le16(p + 20);
        bits = le16(p + 24);
    } else if (infoSize >= 40) {
        if (size < kFileHeaderSize + 40)
            return refused(FileProblem::TruncatedHeader);
        width = les32(p + 18);
        height = les32(p + 22);
        bits = le16(p + 28);
        compression = le32(p + 30);
    } else {
        return refused(FileProblem::UnsupportedHeader);
    }
    if (height < 0)
        height = -height; // top-down
    if (width <= 0 || height <= 0)
        return refused(FileProblem::NoPixels);
    if (width * height > kMaxPicturePixels)
        return refused(FileProblem::TooLarge, sizeClaim("bitmap", width, height));
    // Uncompressed (0) and bit-field (3, 6) data must be all there.
    if (compression == 0 || compression == 3 || compression == 6) {
        const long long stride = ((width * bits + 31) / 32) * 4;
        if (static_cast<long long>(pixelOffset) + stride * height > fileSize)
            return refused(FileProblem::TruncatedPixels);
    }
    // A run-length picture spells at most 255 pixels with two bytes; one that
    // claims far more than its data could spell would only make us allocate.
    if (compression == 1 || compression == 2) {
        const long long data = std::max<long long>(1, fileSize - static_cast<long long>(pixelOffset));
        if (width * height > kMaxRlePixelsPerByte * data)
            return refused(FileProblem::RunLengthTooLong);
    }
    return bits;
}

} // namespace ombrel
