#include "stego/keyed_mark.h"

#include <sodium.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <thread>
#include <cassert>
#include <stdexcept>

namespace ombrel {

namespace {

constexpr char kTag[] = "ombrel keyed mark 1";
constexpr std::size_t kImageKeyBytes = 32;
constexpr int kBlock = Keystream::kBlock;
constexpr int kAcross = Keystream::kBlocksAcross;
constexpr int kDown = Keystream::kBlocksDown;
// The widest span a block's hash reads: a corner block column 12 with the
// twelve to its left.
constexpr int kMaxSpan = 13 * kBlock;

// Which blocks carry bits, and where each carrying block's span begins and
// ends, worked out once from the layout.
struct Blocks {
    bool carries[kDown][kAcross] = {};
    int folded[kDown][kAcross] = {};
    BlockSpan span[kDown][kAcross] = {};

    Blocks() {
        for (int by = 0; by < kDown; ++by)
            for (int y = by * kBlock; y < (by + 1) * kBlock; ++y) {
                const ColourWord *carried = carriedBitsRow(y);
                for (int x = 0; x < kCoverWidth; ++x)
                    carries[by][x / kBlock] |= carried[x] != 0;
            }
        for (int by = 0; by < kDown; ++by) {
            int first = -1, last = -1;
            for (int bx = 0; bx < kAcross; ++bx)
                if (carries[by][bx]) {
                    first = first < 0 ? bx : first;
                    last = bx;
                }
            // Every block row carries bits, with no gap between its carrying blocks.
            assert(first >= 0);
            for (int bx = first; bx <= last; ++bx)
                assert(carries[by][bx]);
            for (int bx = 0; bx < kAcross; ++bx) {
                folded[by][bx] = std::clamp(bx, first, last);
                span[by][bx] = {bx == first ? 0 : bx * kBlock,
                                bx == last ? kCoverWidth - 1 : bx * kBlock + kBlock - 1};
            }
        }
    }
};

const Blocks &blocks() {
    static const Blocks b;
    return b;
}

} // namespace

KeyVerdict checkKey(const MarkKey &key) {
    return key.secret.size() < kMinKeyBytes ? KeyVerdict::TooShort : KeyVerdict::Usable;
}

bool blockCarries(int bx, int by) { return blocks().carries[by][bx]; }
int foldedInto(int bx, int by) { return blocks().folded[by][bx]; }
BlockSpan blockSpan(int bx, int by) { return blocks().span[by][bx]; }

struct Keystream::State {
    crypto_generichash_state prefix;
};

Keystream::Keystream(const MarkKey &key) : state_(std::make_unique<State>()) {
    assert(checkKey(key) == KeyVerdict::Usable);
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium could not be initialised");
    std::array<unsigned char, crypto_generichash_KEYBYTES_MAX> digest{};
    const unsigned char *secret = key.secret.data();
    std::size_t secretBytes = key.secret.size();
    if (secretBytes > crypto_generichash_KEYBYTES_MAX) {
        crypto_generichash(digest.data(), digest.size(), secret, secretBytes, nullptr, 0);
        secret = digest.data();
        secretBytes = digest.size();
    }
    // The image's key: the secret's keyed hash of the tag and the id.
    crypto_generichash_state s;
    crypto_generichash_init(&s, secret, secretBytes, kImageKeyBytes);
    crypto_generichash_update(&s, reinterpret_cast<const unsigned char *>(kTag), sizeof kTag - 1);
    unsigned char length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<unsigned char>(static_cast<std::uint64_t>(key.id.size()) >> (8 * i));
    crypto_generichash_update(&s, length, sizeof length);
    crypto_generichash_update(&s, reinterpret_cast<const unsigned char *>(key.id.data()), key.id.size());
    unsigned char imageKey[kImageKeyBytes];
    crypto_generichash_final(&s, imageKey, sizeof imageKey);
    // Every block's hash begins with it, absorbed here once.
    crypto_generichash_init(&state_->prefix, nullptr, 0, kOutputBytes);
    crypto_generichash_update(&state_->prefix, imageKey, sizeof imageKey);
    sodium_memzero(digest.data(), digest.size());
    sodium_memzero(imageKey, sizeof imageKey);
    sodium_memzero(&s, sizeof s);
}

Keystream::~Keystream() {
    if (state_)
        sodium_memzero(&state_->prefix, sizeof state_->prefix); // it holds the key
}
Keystream::Keystream(Keystream &&) noexcept = default;
Keystream &Keystream::operator=(Keystream &&) noexcept = default;

void Keystream::hash(const Image &image, int bx, int by, unsigned char *out) const {
    assert(image.width == kCoverWidth && image.height == kCoverHeight);
    assert(blockCarries(bx, by));
    // The state after the image's key is copied, not made again.
    crypto_generichash_state s = state_->prefix;
    const unsigned char position[4] = {static_cast<unsigned char>(bx), static_cast<unsigned char>(bx >> 8),
                                       static_cast<unsigned char>(by), static_cast<unsigned char>(by >> 8)};
    crypto_generichash_update(&s, position, sizeof position);

    const BlockSpan span = blockSpan(bx, by);
    // Each pixel is stored as four bytes and the next overwrites the fourth.
    unsigned char kept[kBlock * kMaxSpan * 3 + 1];
    unsigned char *k = kept;
    for (int y = by * kBlock; y < (by + 1) * kBlock; ++y) {
        const ColourWord *pixel = image.row(y);
        const ColourWord *carried = carriedBitsRow(y);
        for (int x = span.first; x <= span.last; ++x, k += 3) {
            const auto w = static_cast<std::uint32_t>(pixel[x] & ~carried[x]);
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(k, &w, 4);
            } else {
                k[0] = static_cast<unsigned char>(w);
                k[1] = static_cast<unsigned char>(w >> 8);
                k[2] = static_cast<unsigned char>(w >> 16);
            }
        }
    }
    assert(k < kept + sizeof kept);
    crypto_generichash_update(&s, kept, static_cast<unsigned long long>(k - kept));
    crypto_generichash_final(&s, out, kOutputBytes);
}

namespace {

// The keystream word of pixel k (0..63) of a block, before its carried mask:
// four pixels take three bytes, each its six bits in the order red bits 0,
// 1, green bits 0, 1, blue bits 0, 1.
constexpr auto kSpread = [] {
    std::array<ColourWord, 64> words{};
    for (int six = 0; six < 64; ++six)
        words[six] = (six & 3) | ((six >> 2 & 3) << 8) | ((six >> 4) << 16);
    return words;
}();

inline ColourWord keystreamWord(const unsigned char *out, int k) {
    const unsigned char *three = out + 3 * (k / 4);
    const std::uint32_t v = three[0] | (three[1] << 8) | (three[2] << 16);
    return kSpread[(v >> (6 * (k % 4))) & 63];
}

} // namespace

std::array<ColourWord, Keystream::kBlock * Keystream::kBlock>
Keystream::block(const Image &image, int bx, int by) const {
    unsigned char out[kOutputBytes];
    hash(image, bx, by, out);
    std::array<ColourWord, kBlock * kBlock> words;
    for (int k = 0; k < kBlock * kBlock; ++k)
        words[k] = keystreamWord(out, k) & carriedBitsRow(by * kBlock + k / kBlock)[bx * kBlock + k % kBlock];
    return words;
}

void Keystream::applyRows(Image &image, int firstBlockRow, int endBlockRow) const {
    unsigned char out[kOutputBytes];
    for (int by = firstBlockRow; by < endBlockRow; ++by)
        for (int bx = 0; bx < kAcross; ++bx) {
            if (!blockCarries(bx, by))
                continue;
            hash(image, bx, by, out);
            ColourWord words[kBlock * kBlock];
            for (int j = 0; j < kBlock * kBlock / 4; ++j) {
                const std::uint32_t v = out[3 * j] | (out[3 * j + 1] << 8) | (out[3 * j + 2] << 16);
                for (int i = 0; i < 4; ++i)
                    words[4 * j + i] = kSpread[(v >> (6 * i)) & 63];
            }
            for (int r = 0; r < kBlock; ++r) {
                const int y = by * kBlock + r;
                ColourWord *pixel = image.row(y) + bx * kBlock;
                const ColourWord *carried = carriedBitsRow(y) + bx * kBlock;
                for (int c = 0; c < kBlock; ++c)
                    pixel[c] ^= words[r * kBlock + c] & carried[c];
            }
        }
}

void Keystream::apply(Image &image) const {
    assert(image.width == kCoverWidth && image.height == kCoverHeight);
    // A block's hash reads and its XOR writes only the pixels of its own
    // block row, so the two halves of the image can be keyed side by side.
    if (std::thread::hardware_concurrency() < 2) {
        applyRows(image, 0, kDown);
        return;
    }
    std::thread lower([&] { applyRows(image, kDown / 2, kDown); });
    applyRows(image, 0, kDown / 2);
    lower.join();
}

} // namespace ombrel
