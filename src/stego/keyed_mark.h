// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/surface.h"
#include "stego/layout.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace ombrel {

// Memory that held a secret is wiped before it goes back to the heap, so
// neither a freed key nor a passphrase lingers there.
void wipe(void *bytes, std::size_t size);

template <class T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() = default;
    template <class U>
    WipingAllocator(const WipingAllocator<U> &) {}
    T *allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T *p, std::size_t n) {
        wipe(p, n * sizeof(T));
        std::allocator<T>().deallocate(p, n);
    }
    friend bool operator==(const WipingAllocator &, const WipingAllocator &) { return true; }
};

using SecretBytes = std::vector<std::uint8_t, WipingAllocator<std::uint8_t>>;

// What binds a mark to its owner and to one image: a secret of at least 16
// bytes, and the image's name (its file name, a serial number). Two images
// marked with one key need two ids, or a region of one pasted into the other
// stays consistent with itself.
struct MarkKey {
    SecretBytes secret;
    std::string id;
};

inline constexpr std::size_t kMinKeyBytes = 16;

enum class KeyVerdict { Usable, TooShort };
KeyVerdict checkKey(std::span<const std::uint8_t> secret);
inline KeyVerdict checkKey(const MarkKey &key) { return checkKey(key.secret); }

// How the pictures of a run get their ids, the one rule for every command
// and library: one id for all ("" unless one is given), or each picture its
// own file name without the extension.
struct IdRule {
    std::string id;
    bool fromName = false;
};
std::string imageId(const IdRule &rule, const std::string &path);

// A passphrase made into a key: Argon2id (libsodium's crypto_pwhash, its
// moderate limits) over a fixed salt, 32 bytes. Slow on purpose, about a
// second and 256 MiB a guess; throws std::runtime_error when the memory
// cannot be had.
inline constexpr std::size_t kPassphraseKeyBytes = 32;
inline constexpr std::string_view kPassphraseSalt = "ombrel-passkey-1"; // 16 bytes
SecretBytes keyFromPassphrase(std::span<const std::uint8_t> passphrase);

// The image key of a secret and an id: what every block's hash begins with.
inline constexpr std::size_t kImageKeyBytes = 32;
std::array<std::uint8_t, kImageKeyBytes> imageKey(std::span<const std::uint8_t> secret, std::string_view id);
// The same for any kind of mark: 32 bytes of BLAKE2b keyed with the secret
// (pre-hashed when over 64 bytes) of the kind's domain string, the id's
// length (8 bytes, little-endian), the id, then what else the kind binds.
// The keyed mark's is this with "ombrel keyed mark 1" and nothing bound.
std::array<std::uint8_t, kImageKeyBytes> imageKey(std::span<const std::uint8_t> secret, std::string_view domain,
                                                  std::string_view id, std::span<const std::uint8_t> bound);

// A keyed mark writes the keyless mark's bits into the same pixels, each
// XORed with a keystream bit. The keystream of an 8 x 8 block is a keyed
// BLAKE2b hash of the id, the block's position and every bit of the block
// that carries no mark, so a change to any pixel of the block changes either
// the carried bits or the keystream.
//
// Blocks are 8 x 8 pixels, bx = 0..127 across and by = 0..95 down. The 320
// blocks that carry no bit (block rows 0..15, block columns 0..11 and
// 120..127: the top corners, 96 x 128 and 64 x 128 pixels) are hashed with
// the nearest block of their row that does carry bits, column 12 or 119; that
// block's span then reaches the image's edge.
//
// What is hashed (the format of keyed images), all with libsodium's
// crypto_generichash (BLAKE2b):
//   the image key, once: 32 bytes of BLAKE2b keyed with the secret (or, for
//     a secret of more than 64 bytes, with its unkeyed 64-byte digest) of
//     "ombrel keyed mark 1" (19 bytes, no terminator), the id's length in
//     bytes (8 bytes, little-endian) and the id;
//   a carrying block's keystream: 48 bytes of BLAKE2b of the image key,
//     bx and by (2 bytes each, little-endian), then for each of the block's
//     8 pixel rows, top to bottom, each pixel of its span left to right:
//     red, green, blue, with the carried bits of that pixel set to 0.
//     The image key leads the message rather than keying BLAKE2b again:
//     BLAKE2b's keyed mode spends a 128-byte block on the key, which
//     libsodium keeps buffered and so compresses anew for every block; led
//     by 32 bytes, a block's 228 bytes take two compressions, not three.
//   The 48 bytes are read as 384 bits, bit i being bit i % 8 of byte i / 8.
//     Pixel k = 8r + c of the block (row r, column c) takes bits 6k .. 6k + 5:
//     red bits 0, 1, green bits 0, 1, blue bits 0, 1 of its keystream word,
//     of which only the bits the pixel carries are used.
//   A passphrase's secret key (keyFromPassphrase): crypto_pwhash with
//     crypto_pwhash_ALG_ARGON2ID13, crypto_pwhash_OPSLIMIT_MODERATE and
//     crypto_pwhash_MEMLIMIT_MODERATE, the passphrase's bytes as they are, the
//     16 bytes "ombrel-passkey-1" as salt, 32 bytes out.
class Keystream {
public:
    static constexpr int kBlock = 8;
    static constexpr int kBlocksAcross = kCoverWidth / kBlock; // 128
    static constexpr int kBlocksDown = kCoverHeight / kBlock;  // 96
    static constexpr std::size_t kOutputBytes = 48;

    // The secret must be usable (checkKey); it is not kept.
    Keystream(std::span<const std::uint8_t> secret, std::string_view id);
    explicit Keystream(const MarkKey &key) : Keystream(key.secret, key.id) {}
    ~Keystream();
    Keystream(Keystream &&) noexcept;
    Keystream &operator=(Keystream &&) noexcept;

    // The keystream words of carrying block (bx, by) of a 1024 x 768 image,
    // its 64 pixels row by row, each masked to the bits that pixel carries.
    std::array<ColourWord, kBlock * kBlock> block(const Image &image, int bx, int by) const;

    // XORs every carried bit of a 1024 x 768 image with its keystream bit.
    // The keystream depends only on bits this leaves alone, so a second call
    // undoes the first: it keys a keyless mark, and unkeys a keyed one.
    void apply(Image &image) const;

    // The hashes of one block row's carrying blocks, by block column.
    using RowHashes = std::array<std::array<unsigned char, kOutputBytes>, kBlocksAcross>;
    void hashRow(const Image &image, int by, RowHashes &out) const;
    // XORs the carried bits of block row by with its keystream.
    static void applyRow(Image &image, int by, const RowHashes &hashes);
    // The same, adding to errors the squared grey error of each pixel that
    // changes against before, the block row's 8 x 1024 pixels as they were,
    // in reading order: the sum a whole comparison forms, to the bit.
    static double applyRowSumming(Image &image, int by, const RowHashes &hashes,
                                  const ColourWord *before, double errors);

private:
    // The one definition of what is hashed: the 48 bytes of block (bx, by).
    using CarriedRows = std::array<const ColourWord *, kBlock>;
    static CarriedRows carriedRowsOf(int by);
    void hash(const Image &image, int bx, int by, const CarriedRows &carried, unsigned char *out) const;

    struct State;
    std::unique_ptr<State> state_; // BLAKE2b after the image key
};

// The hashes of every carrying block of one 1024 x 768 image, taken by a
// second thread from the foot up, and on the caller's as it asks for rows
// from the top down. They read only bits no mark writes, so a mark can be
// written and keyed, or unkeyed, a block row at a time as the rows are handed
// over, while the rest are still being hashed. A caller with other work to
// do first makes this before reading the image, and starts it once the image
// is read: the second thread then gets going meanwhile, and hashes while
// the caller reads the watermark.
//
// Until row(by) has returned, nothing may change block row by of the image;
// after, only its carried bits. The image and the key must stay where they
// are while this lives.
class BlockHashes {
public:
    explicit BlockHashes(const Keystream &key);
    BlockHashes(const Keystream &key, const Image &image);
    ~BlockHashes();
    BlockHashes(const BlockHashes &) = delete;
    BlockHashes &operator=(const BlockHashes &) = delete;

    // The image whose blocks are hashed; given once.
    void start(const Image &image);
    // The hashes of block row by; the rows are asked for in order from 0,
    // after start.
    const Keystream::RowHashes &row(int by);
    // Keys or unkeys image, the hashed image or a copy of it, row by row as
    // the hashes come; this asks for every row.
    void applyTo(Image &image);

private:
    struct Shared; // the rows, and which are claimed and ready
    std::unique_ptr<Shared> shared_;
    std::jthread second_;
};

// Which block's keystream covers block (bx, by): itself when it carries bits,
// otherwise the nearest carrying block of its row. And the pixel columns that
// a carrying block's hash reads: [first, last].
struct BlockSpan {
    int first, last;
};
bool blockCarries(int bx, int by);
int foldedInto(int bx, int by);
BlockSpan blockSpan(int bx, int by);

} // namespace ombrel
