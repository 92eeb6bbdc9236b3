// SPDX-License-Identifier: Apache-2.0
#include "stego/seal.h"

#include "stego/keyed_mark.h"

#include <sodium.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cassert>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace ombrel {

namespace {

constexpr char kDomain[] = "ombrel seal 1";
constexpr int kBlock = 8;
constexpr int kMaxUnit = 2 * kBlock - 1; // a whole block and a remainder of 7
// A unit's tag is one bit per pixel, but never fewer than BLAKE2b's 16 bytes.
constexpr std::size_t kMinTagBytes = crypto_generichash_BYTES_MIN;
constexpr std::size_t kMaxTagBytes = (kMaxUnit * kMaxUnit + 7) / 8; // 29
static_assert(kMaxTagBytes <= crypto_generichash_BYTES_MAX);
constexpr std::size_t kPositionBytes = 8;
constexpr std::size_t kMaxMessage = kImageKeyBytes + kPositionBytes + kMaxUnit * kMaxUnit * 4 * 2;

void littleEndian(unsigned char *out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out[i] = static_cast<unsigned char>(value >> (8 * i));
}

void checkPicture(const SealPixels &p) {
    if (p.bitDepth != 8 && p.bitDepth != 16)
        throw std::invalid_argument("a picture to seal has 8 or 16 bits a sample, not " +
                                    std::to_string(p.bitDepth));
    if (p.channels < 1 || p.channels > 4)
        throw std::invalid_argument("a picture to seal has 1 to 4 channels, not " + std::to_string(p.channels));
    if (p.width <= 0 || p.height <= 0 || p.samples == nullptr)
        throw std::invalid_argument("the picture is empty");
    if (p.rowStride < static_cast<std::ptrdiff_t>(p.width) * p.channels)
        throw std::invalid_argument("a row of the picture is shorter than its width");
}

// Everything a unit's tag is made of but its samples, worked out once.
struct SealKey {
    std::array<std::uint8_t, kImageKeyBytes> imageKey;
    SealUnits units;

    SealKey(const SealPixels &p, std::span<const std::uint8_t> secret, std::string_view id)
        : units(sealUnits(p.width, p.height)) {
        checkPicture(p);
        if (checkKey(secret) != KeyVerdict::Usable)
            throw std::invalid_argument("a key has at least " + std::to_string(kMinKeyBytes) + " bytes, not " +
                                        std::to_string(secret.size()));
        unsigned char bound[10];
        littleEndian(bound, static_cast<std::uint32_t>(p.width), 4);
        littleEndian(bound + 4, static_cast<std::uint32_t>(p.height), 4);
        bound[8] = static_cast<unsigned char>(p.channels);
        bound[9] = static_cast<unsigned char>(p.bitDepth);
        imageKey = ombrel::imageKey(secret, std::string_view(kDomain, sizeof kDomain - 1), id, bound);
    }
    ~SealKey() { wipe(imageKey.data(), imageKey.size()); }
    SealKey(const SealKey &) = delete;
    SealKey &operator=(const SealKey &) = delete;
};

// One unit row's work, for samples of type T in pictures of kChannels
// channels: each unit is gathered into one message (the image key, its
// position, its samples with the tag bits cleared), hashed, and its tag
// written or compared. The carrying channel of pixel (x, y) is (x + y) mod
// the colour channels.
template <class T, int kChannels>
struct UnitRows {
    static constexpr int kColour = kChannels == 2 || kChannels == 4 ? kChannels - 1 : kChannels;

    const SealPixels &picture;
    const SealKey &key;

    T *row(int y) const { return static_cast<T *>(picture.samples) + y * picture.rowStride; }

    // Hashes unit (ux, uy) into tag, tagBytes long.
    void tagOf(int ux, int uy, unsigned char *tag, std::size_t tagBytes) const {
        const SealUnits &u = key.units;
        const int left = u.left(ux), width = u.unitWidth(ux), top = u.top(uy), height = u.unitHeight(uy);
        unsigned char message[kMaxMessage];
        std::copy(key.imageKey.begin(), key.imageKey.end(), message);
        littleEndian(message + kImageKeyBytes, static_cast<std::uint32_t>(ux), 4);
        littleEndian(message + kImageKeyBytes + 4, static_cast<std::uint32_t>(uy), 4);
        unsigned char *m = message + kImageKeyBytes + kPositionBytes;
        for (int y = top; y < top + height; ++y) {
            const T *s = row(y) + static_cast<std::ptrdiff_t>(left) * kChannels;
            int carrier = (left + y) % kColour;
            for (int x = 0; x < width; ++x, s += kChannels) {
                for (int c = 0; c < kChannels; ++c) {
                    const unsigned v = c == carrier ? s[c] & ~1u : s[c];
                    *m++ = static_cast<unsigned char>(v);
                    if constexpr (sizeof(T) == 2)
                        *m++ = static_cast<unsigned char>(v >> 8);
                }
                carrier = carrier + 1 == kColour ? 0 : carrier + 1;
            }
        }
        assert(m <= message + sizeof message);
        crypto_generichash(tag, tagBytes, message, static_cast<unsigned long long>(m - message), nullptr, 0);
    }

    // Writes the unit's tag (seal) or reports whether the bits it holds differ
    // from it (check).
    template <bool kWrite>
    bool unit(int ux, int uy) const {
        const SealUnits &u = key.units;
        const int left = u.left(ux), width = u.unitWidth(ux), top = u.top(uy), height = u.unitHeight(uy);
        const std::size_t tagBytes =
            std::max(kMinTagBytes, (static_cast<std::size_t>(width) * height + 7) / 8);
        unsigned char tag[kMaxTagBytes > kMinTagBytes ? kMaxTagBytes : kMinTagBytes];
        tagOf(ux, uy, tag, tagBytes);
        unsigned differs = 0;
        int k = 0;
        for (int y = top; y < top + height; ++y) {
            T *s = row(y) + static_cast<std::ptrdiff_t>(left) * kChannels;
            int carrier = (left + y) % kColour;
            for (int x = 0; x < width; ++x, s += kChannels, ++k) {
                const unsigned bit = tag[k >> 3] >> (k & 7) & 1u;
                if constexpr (kWrite)
                    s[carrier] = static_cast<T>((s[carrier] & ~1u) | bit);
                else
                    differs |= (s[carrier] ^ bit) & 1u;
                carrier = carrier + 1 == kColour ? 0 : carrier + 1;
            }
        }
        return differs != 0;
    }

    template <bool kWrite>
    void unitRow(int uy, std::uint8_t *altered) const {
        for (int ux = 0; ux < key.units.across; ++ux) {
            const bool differs = unit<kWrite>(ux, uy);
            if (altered)
                altered[ux] = differs ? 1 : 0;
        }
    }
};

// Runs work(uy) for every unit row, the rows shared out among the threads
// as they come free; each row's result depends on that row alone.
template <class Work>
void everyUnitRow(int down, int threads, const Work &work) {
    if (threads <= 0)
        threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    threads = std::min(threads, down);
    std::atomic<int> next{0};
    const auto take = [&] {
        for (int uy; (uy = next.fetch_add(1, std::memory_order_relaxed)) < down;)
            work(uy);
    };
    std::vector<std::jthread> helpers;
    helpers.reserve(static_cast<std::size_t>(threads - 1));
    for (int t = 1; t < threads; ++t)
        helpers.emplace_back(take);
    take();
}

template <bool kWrite, class T, int kChannels>
void run(const SealPixels &p, const SealKey &key, std::uint8_t *altered, int threads) {
    const UnitRows<T, kChannels> rows{p, key};
    everyUnitRow(key.units.down, threads, [&](int uy) {
        rows.template unitRow<kWrite>(uy, altered ? altered + static_cast<std::ptrdiff_t>(uy) * key.units.across
                                                  : nullptr);
    });
}

template <bool kWrite>
void dispatch(const SealPixels &p, const SealKey &key, std::uint8_t *altered, int threads) {
    const bool wide = p.bitDepth == 16;
    switch (p.channels) {
    case 1:
        return wide ? run<kWrite, std::uint16_t, 1>(p, key, altered, threads)
                    : run<kWrite, std::uint8_t, 1>(p, key, altered, threads);
    case 2:
        return wide ? run<kWrite, std::uint16_t, 2>(p, key, altered, threads)
                    : run<kWrite, std::uint8_t, 2>(p, key, altered, threads);
    case 3:
        return wide ? run<kWrite, std::uint16_t, 3>(p, key, altered, threads)
                    : run<kWrite, std::uint8_t, 3>(p, key, altered, threads);
    default:
        return wide ? run<kWrite, std::uint16_t, 4>(p, key, altered, threads)
                    : run<kWrite, std::uint8_t, 4>(p, key, altered, threads);
    }
}

// A side of n pixels: whole blocks of 8, the last taking in a remainder; a
// side under 8 is one unit.
int unitsAlong(int n) { return std::max(1, n / kBlock); }
int unitLength(int n, int units, int u) { return u + 1 == units ? n - u * kBlock : kBlock; }

} // namespace

SealUnits sealUnits(int width, int height) {
    SealUnits u;
    u.width = width;
    u.height = height;
    if (width > 0 && height > 0) {
        u.across = unitsAlong(width);
        u.down = unitsAlong(height);
    }
    return u;
}

int SealUnits::left(int ux) const { return ux * kBlock; }
int SealUnits::unitWidth(int ux) const { return unitLength(width, across, ux); }
int SealUnits::top(int uy) const { return uy * kBlock; }
int SealUnits::unitHeight(int uy) const { return unitLength(height, down, uy); }

void sealPicture(const SealPixels &picture, std::span<const std::uint8_t> secret, std::string_view id,
                 int threads) {
    const SealKey key(picture, secret, id);
    dispatch<true>(picture, key, nullptr, threads);
}

SealReport checkSeal(const SealPixels &picture, std::span<const std::uint8_t> secret, std::string_view id,
                     int threads) {
    const SealKey key(picture, secret, id);
    SealReport report;
    report.units = key.units;
    report.unitsChecked = key.units.count();
    report.altered.assign(static_cast<std::size_t>(report.unitsChecked), 0);
    dispatch<false>(picture, key, report.altered.data(), threads);

    const SealUnits &u = key.units;
    for (int uy = 0; uy < u.down; ++uy)
        for (int ux = 0; ux < u.across; ++ux) {
            if (!report.unitAltered(ux, uy))
                continue;
            ++report.unitsAltered;
            const SealReport::Box unit{u.left(ux), u.top(uy), u.left(ux) + u.unitWidth(ux) - 1,
                                       u.top(uy) + u.unitHeight(uy) - 1};
            if (!report.alteredBox)
                report.alteredBox = unit;
            else
                report.alteredBox = SealReport::Box{
                    std::min(report.alteredBox->left, unit.left), std::min(report.alteredBox->top, unit.top),
                    std::max(report.alteredBox->right, unit.right),
                    std::max(report.alteredBox->bottom, unit.bottom)};
        }
    return report;
}

} // namespace ombrel
