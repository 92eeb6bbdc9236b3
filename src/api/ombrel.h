// SPDX-License-Identifier: Apache-2.0
#pragma once

// Ombrel's watermarking for other programs: hides a 512 x 512 grey watermark
// in a 1024 x 768 colour picture, extracts it again blind, and measures the
// result. Plain 8-bit pixel buffers in, plain buffers out; nothing here needs
// Qt or any other library.
//
//   #include <ombrel/ombrel.h>
//   ombrel::Embedded marked = ombrel::embed(cover, watermark, 0);
//   ombrel::Pixels found = ombrel::extract(marked.image);
//   double nc = ombrel::nc(watermark, found);
//   bool untouched = ombrel::verify(marked.image, watermark).intact;
//
// Results are bit for bit those of the `ombrel` command-line tool.
//
// With a Key, the mark proves the picture unchanged: every carried bit is
// XORed with a keystream hashed from the key, the id and the rest of its
// 8 x 8 block, so verify finds any changed pixel, a block moved, and a
// region pasted from another picture marked with another id.
//   ombrel::Key key{secret, "holiday-042.bmp"};
//   ombrel::Pixels sealed = ombrel::mark(cover, watermark, 0, &key);
//   bool untouched = ombrel::verify(sealed, watermark, 0, &key).intact;

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ombrel {

// A picture of 8-bit samples, row by row from the top-left pixel, with no
// padding: channels 3 is red, green, blue for each pixel; channels 1 is grey.
struct Pixels {
    int width = 0;
    int height = 0;
    int channels = 3;
    std::vector<std::uint8_t> data; // width * height * channels bytes

    Pixels() = default;
    Pixels(int width, int height, int channels);

    friend bool operator==(const Pixels &, const Pixels &) = default;
};

// The same layout over memory the caller owns (a numpy array, a decoder's
// buffer); it must stay alive during the call.
struct PixelView {
    const std::uint8_t *data = nullptr;
    int width = 0;
    int height = 0;
    int channels = 3;

    PixelView() = default;
    PixelView(const std::uint8_t *data, int width, int height, int channels)
        : data(data), width(width), height(height), channels(channels) {}
    PixelView(const Pixels &p) : data(p.data.data()), width(p.width), height(p.height), channels(p.channels) {}
};

// Why a call refused its input. what() gives the same words as `ombrel`.
class Error : public std::invalid_argument {
public:
    enum class Code {
        CoverWrongSize,     // the cover is not 1024 x 768
        WatermarkWrongSize, // the watermark is not 512 x 512
        WatermarkNotGrey,   // a watermark pixel that the embedding reads is not grey
        ThresholdInvalid,   // outside -255..255
        BadChannels,        // channels is neither 1 nor 3, or 1 where colour is needed
        SizesDiffer,        // two pictures to compare differ in size
        Empty,              // no pixels, or no buffer
        TooSmall,           // fewer than 11 x 11 pixels for ssim
        KeyTooShort,        // a key of fewer than 16 bytes
        BadBitDepth,        // samples of neither 8 nor 16 bits
    };
    Error(Code code, const std::string &message) : std::invalid_argument(message), code_(code) {}
    Code code() const { return code_; }

private:
    Code code_;
};

// The code's own name, "CoverWrongSize" and so on: what the Python module's
// ombrel.Error carries as .code.
const char *codeName(Error::Code code);

// What keys a mark: a secret of at least 16 bytes (32 random ones are
// plenty), and a name of its own for every picture marked with it. Pictures
// marked with one key and one id can be cut and pasted into one another
// unseen; another id is what gives such a collage away.
struct Key {
    std::vector<std::uint8_t> secret;
    std::string id;
};

// A picture of 8- or 16-bit samples, for the seal: channels 1 (grey), 2
// (grey, alpha), 3 (red, green, blue) or 4 (red, green, blue, alpha)
// interleaved, row by row from the top-left pixel, with no padding; 16-bit
// samples in host order. The memory is the caller's and must stay alive
// during the call.
struct SampleView {
    const void *data = nullptr;
    int width = 0;
    int height = 0;
    int channels = 3;
    int bitDepth = 8;

    SampleView() = default;
    SampleView(const std::uint8_t *data, int width, int height, int channels)
        : data(data), width(width), height(height), channels(channels), bitDepth(8) {}
    SampleView(const std::uint16_t *data, int width, int height, int channels)
        : data(data), width(width), height(height), channels(channels), bitDepth(16) {}
    SampleView(PixelView p) : SampleView(p.data, p.width, p.height, p.channels) {}
    SampleView(const Pixels &p) : SampleView(PixelView(p)) {}
};

// The same over memory the call may change: sealInPlace writes into it.
struct SampleSpan {
    void *data = nullptr;
    int width = 0;
    int height = 0;
    int channels = 3;
    int bitDepth = 8;

    SampleSpan() = default;
    SampleSpan(std::uint8_t *data, int width, int height, int channels)
        : data(data), width(width), height(height), channels(channels), bitDepth(8) {}
    SampleSpan(std::uint16_t *data, int width, int height, int channels)
        : data(data), width(width), height(height), channels(channels), bitDepth(16) {}
};

// A sealed picture: its samples in samples8 (8 bits) or samples16 (16 bits),
// the other empty, laid out as for SampleView.
struct Samples {
    int width = 0;
    int height = 0;
    int channels = 3;
    int bitDepth = 8;
    std::vector<std::uint8_t> samples8;
    std::vector<std::uint16_t> samples16;

    SampleView view() const {
        return bitDepth == 16 ? SampleView(samples16.data(), width, height, channels)
                              : SampleView(samples8.data(), width, height, channels);
    }
    friend bool operator==(const Samples &, const Samples &) = default;
};

// The seal proves a picture of any size unchanged, pixel for pixel, with no
// watermark: every unit (an 8 x 8 block; at the right and bottom edges a
// remainder narrower than 8 joins the last whole block, so 8 to 15 pixels a
// side) carries a keyed BLAKE2b tag of the key, the id, the picture's size,
// channels and depth, the unit's position and its samples, in the lowest bit
// of one colour sample per pixel. Alpha is hashed, never written. A picture
// under 8 pixels on a side has smaller units, whose change goes unseen with
// odds 2^-pixels. Sealing a sealed picture changes nothing.
//   ombrel::Samples sealed = ombrel::seal(photo, key);
//   bool untouched = ombrel::check(sealed.view(), key).intact;
//
// threads 0 hashes on every core; the result is the same on any number.
Samples seal(SampleView picture, const Key &key, int threads = 0);
void sealInPlace(SampleSpan picture, const Key &key, int threads = 0);

struct CheckReport {
    struct Box {
        int left, top, right, bottom; // pixels, inclusive
    };
    bool intact = false; // every unit holds its tag
    // Every unit fails: not sealed with this key, id and size (a crop, a
    // resize, another canvas), never sealed, or replaced whole. A picture of
    // one unit (under 16 pixels on each side) that fails is this too.
    bool noUnitMatches = false;
    int unitsChecked = 0;
    int unitsAltered = 0;
    int unitsAcross = 0;
    int unitsDown = 0;
    std::optional<Box> alteredBox;          // around the altered units; none when intact
    std::vector<std::uint8_t> alteredUnits; // per unit, row by row: 1 when altered
    int width = 0, height = 0;              // of the picture

    // The pixels of unit (ux, uy).
    Box unitBox(int ux, int uy) const;
    bool unitAltered(int ux, int uy) const { return alteredUnits[std::size_t(uy) * unitsAcross + ux] != 0; }
};

// Checks every unit of a sealed picture against the tag it carries.
CheckReport check(SampleView picture, const Key &key, int threads = 0);

// The id the tool gives a picture under --id-from-name: its file name
// without the extension ("photos/holiday-042.png" gives "holiday-042").
std::string idFromName(const std::string &path);

// The secret of a passphrase, as the tool's --passphrase-file makes it:
// Argon2id with libsodium's moderate limits over a fixed salt, 32 bytes.
// Takes about a second and 256 MiB; a passphrase is only as strong as itself,
// and 32 random bytes (ombrel keygen) are the strong choice.
std::vector<std::uint8_t> keyFromPassphrase(std::string_view passphrase);

struct Embedded {
    Pixels image;    // 1024 x 768, 3 channels
    double psnr = 0; // of image against the cover, in dB; infinite when equal
};

// Hides the watermark in a copy of the cover. The cover is 1024 x 768 with 3
// channels. The watermark is 512 x 512, grey (1 channel), or 3 channels whose
// red, green and blue are equal at every pixel the embedding reads (all but
// column 0 and row 0); its red channel is what is hidden. Coefficients below
// threshold (-255..255) are dropped. With key, the mark is keyed.
Embedded embed(PixelView cover, PixelView watermark, int threshold = 0, const Key *key = nullptr);

// The marked picture alone, for callers that do not need its PSNR.
Pixels mark(PixelView cover, PixelView watermark, int threshold = 0, const Key *key = nullptr);

// The 512 x 512 grey watermark hidden in a 1024 x 768 picture (3 channels).
// Any such picture gives some watermark: nothing tells a marked one apart.
// A keyed mark gives its watermark with its key and id, noise without.
Pixels extract(PixelView image, const Key *key = nullptr);

// Peak signal-to-noise ratio in dB and normalised correlation of the grey
// values (ITU-R BT.601 luma) of two pictures of the same width and height;
// either may be grey or colour. psnr is infinite for identical pictures.
double psnr(PixelView a, PixelView b);
double nc(PixelView a, PixelView b);

// Structural similarity of the same grey values: an 11 x 11 Gaussian window
// of sigma 1.5, K1 = 0.01, K2 = 0.03, averaged over every window wholly inside
// the pictures, which need at least 11 x 11 pixels. 1 for identical pictures.
double ssim(PixelView a, PixelView b);

// What a check of a picture against a watermark found: every bit that
// embedding the watermark at the threshold writes, compared with the bit the
// picture holds there. Pixels that carry no bit are not checked.
//
// With a key, the top corner blocks, which carry no bit, are hashed with the
// nearest carrying block of their row; when that block fails, alteredBlocks
// and alteredBox take in its whole span, to the picture's edge: a change
// somewhere in this span, not necessarily in every block of it. The counts
// stay those of the carrying blocks.
struct VerifyReport {
    struct Box {
        int left, top, right, bottom; // pixels, inclusive
    };
    bool intact = false; // no carried bit differs
    // Every checked block fails: another key or id, a picture never marked
    // with them, or one replaced whole. Without a key, a picture never marked.
    bool noBlockMatches = false;
    long long bitsCompared = 0;
    long long bitsDiffering = 0;
    long long pixelsDiffering = 0; // pixels holding a differing bit
    int blocksChecked = 0;         // 8 x 8 blocks that carry a bit
    int blocksAltered = 0;         // of those, the blocks holding a differing bit
    std::optional<Box> alteredBox; // around alteredBlocks; none when intact
    int blocksAcross = 0;          // 128
    int blocksDown = 0;            // 96
    std::vector<std::uint8_t> alteredBlocks; // per block, row by row: 1 where a change can be
};

// Checks whether image (1024 x 768, 3 channels) still carries watermark
// (as for embed) embedded at threshold, bit for bit. A wrong watermark or
// threshold changes only some bits, so expect a few percent differing. A
// keyed mark checked without its key and id differs nearly everywhere.
VerifyReport verify(PixelView image, PixelView watermark, int threshold = 0,
                    const Key *key = nullptr);

} // namespace ombrel
