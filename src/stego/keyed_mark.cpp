#include "stego/keyed_mark.h"

#include <sodium.h>

#include <algorithm>
#include <cassert>
#include <stdexcept>

namespace ombrel {

namespace {

constexpr char kTag[] = "ombrel keyed mark 1";
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
    crypto_generichash_state &s = state_->prefix;
    crypto_generichash_init(&s, secret, secretBytes, kOutputBytes);
    sodium_memzero(digest.data(), digest.size());
    crypto_generichash_update(&s, reinterpret_cast<const unsigned char *>(kTag), sizeof kTag - 1);
    unsigned char length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<unsigned char>(static_cast<std::uint64_t>(key.id.size()) >> (8 * i));
    crypto_generichash_update(&s, length, sizeof length);
    crypto_generichash_update(&s, reinterpret_cast<const unsigned char *>(key.id.data()), key.id.size());
}

Keystream::~Keystream() {
    if (state_)
        sodium_memzero(&state_->prefix, sizeof state_->prefix); // it holds the key
}
Keystream::Keystream(Keystream &&) noexcept = default;
Keystream &Keystream::operator=(Keystream &&) noexcept = default;

std::array<ColourWord, Keystream::kBlock * Keystream::kBlock>
Keystream::block(const Image &image, int bx, int by) const {
    assert(image.width == kCoverWidth && image.height == kCoverHeight);
    assert(blockCarries(bx, by));
    // The state after the key and the id is copied, not made again: the
    // key's own compression is paid once per image, not once per block.
    crypto_generichash_state s = state_->prefix;
    const unsigned char position[4] = {static_cast<unsigned char>(bx), static_cast<unsigned char>(bx >> 8),
                                       static_cast<unsigned char>(by), static_cast<unsigned char>(by >> 8)};
    crypto_generichash_update(&s, position, sizeof position);

    const BlockSpan span = blockSpan(bx, by);
    unsigned char kept[kBlock * kMaxSpan * 3];
    unsigned char *k = kept;
    for (int y = by * kBlock; y < (by + 1) * kBlock; ++y) {
        const ColourWord *pixel = image.row(y);
        const ColourWord *carried = carriedBitsRow(y);
        for (int x = span.first; x <= span.last; ++x) {
            const ColourWord w = pixel[x] & ~carried[x];
            *k++ = static_cast<unsigned char>(w);
            *k++ = static_cast<unsigned char>(w >> 8);
            *k++ = static_cast<unsigned char>(w >> 16);
        }
    }
    assert(k - kept <= static_cast<std::ptrdiff_t>(sizeof kept));
    crypto_generichash_update(&s, kept, static_cast<unsigned long long>(k - kept));
    unsigned char out[kOutputBytes];
    crypto_generichash_final(&s, out, sizeof out);

    // Four pixels take 24 bits, three bytes; each its six in the order red
    // bits 0, 1, green bits 0, 1, blue bits 0, 1.
    std::array<ColourWord, kBlock * kBlock> words;
    for (int j = 0; j < kBlock * kBlock / 4; ++j) {
        const std::uint32_t v = out[3 * j] | (out[3 * j + 1] << 8) | (out[3 * j + 2] << 16);
        for (int i = 0; i < 4; ++i) {
            const std::uint32_t six = (v >> (6 * i)) & 63;
            const int p = 4 * j + i;
            const ColourWord carried = carriedBitsRow(by * kBlock + p / kBlock)[bx * kBlock + p % kBlock];
            words[p] = static_cast<ColourWord>((six & 3) | ((six >> 2 & 3) << 8) | ((six >> 4) << 16)) & carried;
        }
    }
    return words;
}

void Keystream::apply(Image &image) const {
    assert(image.width == kCoverWidth && image.height == kCoverHeight);
    for (int by = 0; by < kDown; ++by)
        for (int bx = 0; bx < kAcross; ++bx) {
            if (!blockCarries(bx, by))
                continue;
            const auto words = block(image, bx, by);
            for (int r = 0; r < kBlock; ++r) {
                ColourWord *pixel = image.row(by * kBlock + r) + bx * kBlock;
                for (int c = 0; c < kBlock; ++c)
                    pixel[c] ^= words[r * kBlock + c];
            }
        }
}

} // namespace ombrel
