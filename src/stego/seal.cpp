// SPDX-License-Identifier: Apache-2.0
#include "stego/seal.h"

#include "stego/keyed_mark.h"

#include <sodium.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cassert>
#include <cstring>
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

// Where the carrying sample of each pixel of a unit row lies, and what of
// each sample the message takes, for each of the kColour phases a row can
// start in (pixel (x, y) carries in channel (x + y) mod kColour): worked out
// once, so a row is gathered as a masked copy rather than sample by sample.
template <class T, int kChannels, int kColour>
struct CarrierTables {
    std::array<std::array<int, kMaxUnit>, kColour> offset{};
    std::array<std::array<T, kMaxUnit * kChannels>, kColour> keep{};

    constexpr CarrierTables() {
        for (int p = 0; p < kColour; ++p)
            for (int x = 0; x < kMaxUnit; ++x) {
                const int carrier = (p + x) % kColour;
                offset[p][x] = x * kChannels + carrier;
                for (int c = 0; c < kChannels; ++c)
                    keep[p][x * kChannels + c] = static_cast<T>(c == carrier ? ~1u : ~0u);
            }
    }
};

// Bits k to k + n - 1 of the tag (n at most 15), bit k lowest: the tag's bit
// k is bit k mod 8 of its byte k / 8. The tag has two spare bytes after it.
unsigned tagBits(const unsigned char *tag, int k, int n) {
    const unsigned char *b = tag + (k >> 3);
    const unsigned word = b[0] | unsigned(b[1]) << 8 | unsigned(b[2]) << 16;
    return word >> (k & 7) & ((1u << n) - 1);
}

// One unit row's work, for samples of type T in pictures of kChannels
// channels: each unit is gathered into one message (the image key, its
// position, its samples with the tag bits cleared), hashed, and its tag
// written or compared.
template <class T, int kChannels>
struct UnitRows {
    static constexpr int kColour = kChannels == 2 || kChannels == 4 ? kChannels - 1 : kChannels;
    static constexpr CarrierTables<T, kChannels, kColour> kTables{};
    // Room for the largest tag and the two bytes tagBits may read past it.
    static constexpr std::size_t kTagRoom = std::max(kMaxTagBytes, kMinTagBytes) + 2;

    const SealPixels &picture;
    const SealKey &key;

    T *row(int y) const { return static_cast<T *>(picture.samples) + y * picture.rowStride; }
    static int phase(int left, int y) { return (left + y) % kColour; }

    // Hashes unit (ux, uy) into tag, tagBytes long; with held, also gathers
    // the bits the unit's pixels hold, a row of the unit to an entry.
    void tagOf(int ux, int uy, unsigned char *tag, std::size_t tagBytes, unsigned *held) const {
        const SealUnits &u = key.units;
        const int left = u.left(ux), width = u.unitWidth(ux), top = u.top(uy), height = u.unitHeight(uy);
        const int rowSamples = width * kChannels;
        unsigned char message[kMaxMessage];
        std::copy(key.imageKey.begin(), key.imageKey.end(), message);
        littleEndian(message + kImageKeyBytes, static_cast<std::uint32_t>(ux), 4);
        littleEndian(message + kImageKeyBytes + 4, static_cast<std::uint32_t>(uy), 4);
        unsigned char *m = message + kImageKeyBytes + kPositionBytes;
        for (int y = top; y < top + height; ++y) {
            const T *s = row(y) + static_cast<std::ptrdiff_t>(left) * kChannels;
            const int p = phase(left, y);
            const T *keep = kTables.keep[p].data();
            if constexpr (sizeof(T) == 1 || std::endian::native == std::endian::little) {
                T masked[kMaxUnit * kChannels];
                for (int i = 0; i < rowSamples; ++i)
                    masked[i] = static_cast<T>(s[i] & keep[i]);
                std::memcpy(m, masked, static_cast<std::size_t>(rowSamples) * sizeof(T));
                m += static_cast<std::size_t>(rowSamples) * sizeof(T);
            } else {
                for (int i = 0; i < rowSamples; ++i) {
                    const unsigned v = s[i] & keep[i];
                    *m++ = static_cast<unsigned char>(v);
                    *m++ = static_cast<unsigned char>(v >> 8);
                }
            }
            if (held) {
                const int *offset = kTables.offset[p].data();
                unsigned bits = 0;
                for (int x = 0; x < width; ++x)
                    bits |= (s[offset[x]] & 1u) << x;
                *held++ = bits;
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
        unsigned char tag[kTagRoom] = {};
        unsigned held[kMaxUnit];
        tagOf(ux, uy, tag, tagBytes, kWrite ? nullptr : held);
        unsigned differs = 0;
        for (int r = 0; r < height; ++r) {
            const unsigned bits = tagBits(tag, r * width, width);
            if constexpr (kWrite) {
                const int y = top + r;
                T *s = row(y) + static_cast<std::ptrdiff_t>(left) * kChannels;
                const int *offset = kTables.offset[phase(left, y)].data();
                for (int x = 0; x < width; ++x) {
                    T &sample = s[offset[x]];
                    sample = static_cast<T>((sample & ~1u) | (bits >> x & 1u));
                }
            } else {
                differs |= bits ^ held[r];
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
