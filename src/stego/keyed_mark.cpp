// SPDX-License-Identifier: Apache-2.0
#include "stego/keyed_mark.h"

#include "imaging/quality.h"

#include <sodium.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>
#include <cassert>
#include <filesystem>
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
        for (int y = 0; y < kCoverHeight; ++y)
            for (const std::uint16_t x : carriedColumns(y))
                carries[y / kBlock][x / kBlock] = true;
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

void wipe(void *bytes, std::size_t size) { sodium_memzero(bytes, size); }

KeyVerdict checkKey(std::span<const std::uint8_t> secret) {
    return secret.size() < kMinKeyBytes ? KeyVerdict::TooShort : KeyVerdict::Usable;
}

std::string imageId(const IdRule &rule, const std::string &path) {
    return rule.fromName ? std::filesystem::path(path).stem().string() : rule.id;
}

namespace {

void initialiseSodium() {
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium could not be initialised");
}

} // namespace

SecretBytes keyFromPassphrase(std::span<const std::uint8_t> passphrase) {
    static_assert(kPassphraseSalt.size() == crypto_pwhash_SALTBYTES);
    initialiseSodium();
    SecretBytes key(kPassphraseKeyBytes);
    if (crypto_pwhash(key.data(), key.size(), reinterpret_cast<const char *>(passphrase.data()),
                      passphrase.size(), reinterpret_cast<const unsigned char *>(kPassphraseSalt.data()),
                      crypto_pwhash_OPSLIMIT_MODERATE, crypto_pwhash_MEMLIMIT_MODERATE,
                      crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::runtime_error("the passphrase could not be made into a key: out of memory");
    return key;
}

std::array<std::uint8_t, kImageKeyBytes> imageKey(std::span<const std::uint8_t> secret, std::string_view id) {
    return imageKey(secret, std::string_view(kTag, sizeof kTag - 1), id, {});
}

std::array<std::uint8_t, kImageKeyBytes> imageKey(std::span<const std::uint8_t> secret, std::string_view domain,
                                                  std::string_view id, std::span<const std::uint8_t> bound) {
    initialiseSodium();
    std::array<unsigned char, crypto_generichash_KEYBYTES_MAX> digest{};
    if (secret.size() > crypto_generichash_KEYBYTES_MAX) {
        crypto_generichash(digest.data(), digest.size(), secret.data(), secret.size(), nullptr, 0);
        secret = digest;
    }
    // The secret's keyed hash of the domain, the id and what is bound.
    crypto_generichash_state s;
    crypto_generichash_init(&s, secret.data(), secret.size(), kImageKeyBytes);
    crypto_generichash_update(&s, reinterpret_cast<const unsigned char *>(domain.data()), domain.size());
    unsigned char length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<unsigned char>(static_cast<std::uint64_t>(id.size()) >> (8 * i));
    crypto_generichash_update(&s, length, sizeof length);
    crypto_generichash_update(&s, reinterpret_cast<const unsigned char *>(id.data()), id.size());
    crypto_generichash_update(&s, bound.data(), bound.size());
    std::array<std::uint8_t, kImageKeyBytes> key;
    crypto_generichash_final(&s, key.data(), key.size());
    sodium_memzero(digest.data(), digest.size());
    sodium_memzero(&s, sizeof s);
    return key;
}

bool blockCarries(int bx, int by) { return blocks().carries[by][bx]; }
int foldedInto(int bx, int by) { return blocks().folded[by][bx]; }
BlockSpan blockSpan(int bx, int by) { return blocks().span[by][bx]; }

struct Keystream::State {
    crypto_generichash_state prefix;
};

Keystream::Keystream(std::span<const std::uint8_t> secret, std::string_view id)
    : state_(std::make_unique<State>()) {
    assert(checkKey(secret) == KeyVerdict::Usable);
    std::array<std::uint8_t, kImageKeyBytes> key = imageKey(secret, id);
    // Every block's hash begins with it, absorbed here once.
    crypto_generichash_init(&state_->prefix, nullptr, 0, kOutputBytes);
    crypto_generichash_update(&state_->prefix, key.data(), key.size());
    sodium_memzero(key.data(), key.size());
}

Keystream::~Keystream() {
    if (state_)
        sodium_memzero(&state_->prefix, sizeof state_->prefix); // it holds the key
}
Keystream::Keystream(Keystream &&) noexcept = default;
Keystream &Keystream::operator=(Keystream &&) noexcept = default;

Keystream::CarriedRows Keystream::carriedRowsOf(int by) {
    CarriedRows rows;
    for (int r = 0; r < kBlock; ++r)
        rows[r] = carriedBitsRow(by * kBlock + r);
    return rows;
}

void Keystream::hash(const Image &image, int bx, int by, const CarriedRows &carriedRows,
                     unsigned char *out) const {
    assert(image.width == kCoverWidth && image.height == kCoverHeight);
    assert(blockCarries(bx, by));
    // The state after the image's key is copied, not made again.
    crypto_generichash_state s = state_->prefix;
    const unsigned char position[4] = {static_cast<unsigned char>(bx), static_cast<unsigned char>(bx >> 8),
                                       static_cast<unsigned char>(by), static_cast<unsigned char>(by >> 8)};
    crypto_generichash_update(&s, position, sizeof position);

    const BlockSpan span = blockSpan(bx, by);
    // Every span is whole groups of four pixels, which pack into twelve bytes.
    assert((span.last - span.first + 1) % 4 == 0);
    unsigned char kept[kBlock * kMaxSpan * 3];
    unsigned char *k = kept;
    for (int r = 0; r < kBlock; ++r) {
        const ColourWord *pixel = image.row(by * kBlock + r);
        const ColourWord *carried = carriedRows[r];
        for (int x = span.first; x <= span.last; x += 4, k += 12) {
            std::uint64_t w[4];
            for (int i = 0; i < 4; ++i)
                w[i] = static_cast<std::uint32_t>(pixel[x + i] & ~carried[x + i]);
            const std::uint64_t low = w[0] | w[1] << 24 | w[2] << 48;
            const auto high = static_cast<std::uint32_t>(w[2] >> 16 | w[3] << 8);
            for (int i = 0; i < 8; ++i)
                k[i] = static_cast<unsigned char>(low >> (8 * i));
            for (int i = 0; i < 4; ++i)
                k[8 + i] = static_cast<unsigned char>(high >> (8 * i));
        }
    }
    assert(k <= kept + sizeof kept);
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
    hash(image, bx, by, carriedRowsOf(by), out);
    std::array<ColourWord, kBlock * kBlock> words;
    for (int k = 0; k < kBlock * kBlock; ++k)
        words[k] = keystreamWord(out, k) & carriedBitsRow(by * kBlock + k / kBlock)[bx * kBlock + k % kBlock];
    return words;
}

void Keystream::hashRow(const Image &image, int by, RowHashes &out) const {
    const CarriedRows carried = carriedRowsOf(by);
    for (int bx = 0; bx < kAcross; ++bx)
        if (blockCarries(bx, by))
            hash(image, bx, by, carried, out[bx].data());
}

namespace {

// XORs the carried bits of block row by with its keystream, pixel by pixel in
// reading order; summing, it adds each carried pixel's squared grey error
// against before (the block row's pixels as they were) to sum, in that order.
// A pixel left as it was adds exactly 0, so the sum is a whole comparison's.
// The errors form a chain of additions, which the XOR work beside it hides.
template <bool kSumming>
double keyRow(Image &image, int by, const Keystream::RowHashes &hashes, const ColourWord *before,
              double sum) {
    for (int r = 0; r < kBlock; ++r) {
        const int y = by * kBlock + r;
        ColourWord *pixel = image.row(y);
        const ColourWord *carried = carriedBitsRow(y);
        // Only carrying blocks have carried columns.
        for (const std::uint16_t x : carriedColumns(y)) {
            const int k = r * kBlock + x % kBlock;
            pixel[x] ^= keystreamWord(hashes[x / kBlock].data(), k) & carried[x];
            if constexpr (kSumming)
                sum += squaredGreyError(before[r * kCoverWidth + x], pixel[x]);
        }
    }
    return sum;
}

} // namespace

void Keystream::applyRow(Image &image, int by, const RowHashes &hashes) {
    keyRow<false>(image, by, hashes, nullptr, 0);
}

double Keystream::applyRowSumming(Image &image, int by, const RowHashes &hashes,
                                  const ColourWord *before, double errors) {
    return keyRow<true>(image, by, hashes, before, errors);
}

struct BlockHashes::Shared {
    explicit Shared(const Keystream &k) : key(k), rows(kDown) {}

    // Claims the next row from the top or from the foot; -1 once they meet.
    int claim(bool fromTop) {
        std::uint32_t c = claims.load(std::memory_order_relaxed);
        for (;;) {
            const int top = static_cast<int>(c >> 16), foot = static_cast<int>(c & 0xffff);
            if (top >= foot)
                return -1;
            if (claims.compare_exchange_weak(c, fromTop ? c + (1u << 16) : c - 1, std::memory_order_relaxed))
                return fromTop ? top : foot - 1;
        }
    }
    void hash(int by) {
        key.hashRow(*image, by, rows[by]);
        ready[by].store(true, std::memory_order_release);
        ready[by].notify_one();
    }
    // The second thread's part: the tables made ready while the caller reads
    // the image, then rows from the foot up.
    void hashFromTheFoot(const std::stop_token &stop) {
        blockCarries(0, 0);
        carriedBitsRow(0);
        state.wait(kWaiting, std::memory_order_acquire);
        if (state.load(std::memory_order_acquire) != kHashing)
            return;
        for (int by; !stop.stop_requested() && (by = claim(false)) >= 0;)
            hash(by);
    }

    static constexpr int kWaiting = 0, kHashing = 1, kGivenUp = 2;
    const Keystream &key;
    const Image *image = nullptr;
    std::atomic<int> state{kWaiting};
    std::vector<Keystream::RowHashes> rows;
    std::array<std::atomic<bool>, kDown> ready{};
    // The next row from the top, in the high half; the row below the last
    // unclaimed one from the foot, in the low half.
    std::atomic<std::uint32_t> claims{kDown};
};

BlockHashes::BlockHashes(const Keystream &key) : shared_(std::make_unique<Shared>(key)) {
    // Started before the image is read: a thread takes a while to get going.
    if (std::thread::hardware_concurrency() >= 2)
        second_ = std::jthread([s = shared_.get()](const std::stop_token &stop) { s->hashFromTheFoot(stop); });
}

BlockHashes::BlockHashes(const Keystream &key, const Image &image) : BlockHashes(key) { start(image); }

void BlockHashes::start(const Image &image) {
    assert(image.width == kCoverWidth && image.height == kCoverHeight);
    assert(!shared_->image);
    shared_->image = &image;
    shared_->state.store(Shared::kHashing, std::memory_order_release);
    shared_->state.notify_one();
}

BlockHashes::~BlockHashes() {
    // A thread still waiting for an image is let go; one hashing stops after
    // its row. Either is joined before the rows go.
    int waiting = Shared::kWaiting;
    if (shared_->state.compare_exchange_strong(waiting, Shared::kGivenUp))
        shared_->state.notify_one();
}

const Keystream::RowHashes &BlockHashes::row(int by) {
    assert(shared_->image);
    if (const int claimed = shared_->claim(true); claimed >= 0) {
        assert(claimed == by);
        shared_->hash(claimed);
    } else {
        shared_->ready[by].wait(false, std::memory_order_acquire);
    }
    return shared_->rows[by];
}

void BlockHashes::applyTo(Image &image) {
    assert(image.width == kCoverWidth && image.height == kCoverHeight);
    for (int by = 0; by < kDown; ++by)
        Keystream::applyRow(image, by, row(by));
}

void Keystream::apply(Image &image) const { BlockHashes(*this, image).applyTo(image); }

} // namespace ombrel
