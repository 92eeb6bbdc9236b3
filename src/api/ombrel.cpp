// SPDX-License-Identifier: Apache-2.0
#include "api/ombrel.h"

#include "imaging/quality.h"
#include "stego/embedding.h"
#include "stego/extraction.h"
#include "stego/intake.h"
#include "stego/seal.h"
#include "stego/verify.h"
#include "text/texts.h"

namespace ombrel {

namespace {

[[noreturn]] void refuse(Error::Code code, std::string_view words) {
    throw Error(code, std::string(words));
}

// The refusals whose words never change are the tool's, so that a script
// and a program read the same (the others name what was given).
std::string_view fixedWords(Error::Code code) {
    switch (code) {
    case Error::Code::CoverWrongSize:
        return text::kCoverWrongSize;
    case Error::Code::WatermarkWrongSize:
        return text::kWatermarkWrongSize;
    case Error::Code::WatermarkNotGrey:
        return text::kWatermarkNotGrey;
    case Error::Code::ThresholdInvalid:
        return text::kThresholdInvalid;
    case Error::Code::Empty:
        return "the picture is empty";
    default:
        return codeName(code);
    }
}

[[noreturn]] void refuse(Error::Code code) { refuse(code, fixedWords(code)); }

void checkView(PixelView v) {
    if (v.channels != 1 && v.channels != 3)
        refuse(Error::Code::BadChannels,
               "a picture has 1 channel (grey) or 3 (red, green, blue), not " +
                   std::to_string(v.channels));
    if (v.width <= 0 || v.height <= 0 || v.data == nullptr)
        refuse(Error::Code::Empty);
}

// Colour words straight into a surface's pixels: one pass, no extra copy.
Surface surfaceFrom(PixelView v) {
    Surface s(v.width, v.height);
    ColourWord *out = s.image().pixels.data();
    const std::size_t n = static_cast<std::size_t>(v.width) * v.height;
    const std::uint8_t *p = v.data;
    if (v.channels == 3) {
        for (std::size_t i = 0; i < n; ++i, p += 3)
            out[i] = p[0] | (p[1] << 8) | (p[2] << 16);
    } else {
        for (std::size_t i = 0; i < n; ++i)
            out[i] = p[i] * 0x010101;
    }
    return s;
}

Pixels rgbOf(const Image &image) {
    Pixels out(image.width, image.height, 3);
    std::uint8_t *p = out.data.data();
    for (const ColourWord w : image.pixels) {
        *p++ = static_cast<std::uint8_t>(w);
        *p++ = static_cast<std::uint8_t>(w >> 8);
        *p++ = static_cast<std::uint8_t>(w >> 16);
    }
    return out;
}

Pixels greyOf(const Image &image) {
    Pixels out(image.width, image.height, 1);
    for (std::size_t i = 0; i < image.pixels.size(); ++i)
        out.data[i] = static_cast<std::uint8_t>(image.pixels[i]); // drawn as grey: red is the level
    return out;
}

// The core's keystream for a key, or none for none; a short key is refused.
void checkKeyOf(const Key &key) {
    if (checkKey(key.secret) == KeyVerdict::TooShort)
        refuse(Error::Code::KeyTooShort, "a key has at least " + std::to_string(kMinKeyBytes) +
                                             " bytes, not " + std::to_string(key.secret.size()));
}

std::optional<Keystream> keystreamOf(const Key *key) {
    if (!key)
        return std::nullopt;
    checkKeyOf(*key);
    return std::optional<Keystream>(std::in_place, key->secret, key->id);
}

// A picture the seal takes, as the core's view of it; the core writes only
// through a SampleSpan's.
SealPixels sealPixels(const void *data, int width, int height, int channels, int bitDepth) {
    if (channels < 1 || channels > 4)
        refuse(Error::Code::BadChannels, "a picture to seal has 1 to 4 channels (grey, grey and alpha, "
                                         "red, green, blue, and alpha), not " + std::to_string(channels));
    if (bitDepth != 8 && bitDepth != 16)
        refuse(Error::Code::BadBitDepth,
               "a picture to seal has 8 or 16 bits a sample, not " + std::to_string(bitDepth));
    if (width <= 0 || height <= 0 || data == nullptr)
        refuse(Error::Code::Empty);
    return {width, height, channels, bitDepth, std::ptrdiff_t(width) * channels, const_cast<void *>(data)};
}

Surface coverSurface(PixelView cover) {
    checkView(cover);
    if (checkCover(cover.width, cover.height) != Verdict::Suitable)
        refuse(Error::Code::CoverWrongSize);
    if (cover.channels != 3)
        refuse(Error::Code::BadChannels, "a picture to embed in or extract from has 3 channels "
                                         "(red, green, blue), not 1");
    return surfaceFrom(cover);
}

void checkThreshold(int threshold) {
    if (threshold < -255 || threshold > 255)
        refuse(Error::Code::ThresholdInvalid);
}

Surface watermarkSurface(PixelView watermarkView) {
    checkView(watermarkView);
    if (watermarkView.width != kWatermarkSize || watermarkView.height != kWatermarkSize)
        refuse(Error::Code::WatermarkWrongSize);
    Surface watermark = surfaceFrom(watermarkView);
    if (checkWatermark(watermark.width(), watermark.height(), watermark).verdict != Verdict::Suitable)
        refuse(Error::Code::WatermarkNotGrey);
    return watermark;
}

// Checks the inputs as the tool does, then embeds straight into the cover's
// surface: the coefficient pictures and the copies that the tool keeps for
// its files are not needed here, and skipping them pays for the conversion
// of the buffers. psnr, when given, receives the result's PSNR against the
// cover.
Surface marked(PixelView coverView, PixelView watermarkView, int threshold, const Key *key,
               double *psnr = nullptr) {
    checkThreshold(threshold);
    const std::optional<Keystream> keystream = keystreamOf(key);
    Surface cover = coverSurface(coverView);
    // Hashed on a second thread while the watermark is read and transformed.
    std::optional<BlockHashes> hashes;
    if (keystream)
        hashes.emplace(*keystream, cover.image());
    const Surface watermark = watermarkSurface(watermarkView);

    EmbeddingPipeline pipeline;
    Progress progress;
    pipeline.read(nullptr, &watermark, progress)
        .transform(threshold, progress)
        .quantise()
        .embedInPlace(cover, progress, psnr, hashes ? &*hashes : nullptr);
    hashes.reset();
    return cover;
}

Quality compare(PixelView a, PixelView b) {
    checkView(a);
    checkView(b);
    const auto q = compareImages(surfaceFrom(a).image(), surfaceFrom(b).image());
    if (!q)
        refuse(Error::Code::SizesDiffer,
               qualityProblemText(q.error(), {a.width, a.height}, {b.width, b.height}));
    return *q;
}

} // namespace

const char *codeName(Error::Code code) {
    switch (code) {
    case Error::Code::CoverWrongSize:
        return "CoverWrongSize";
    case Error::Code::WatermarkWrongSize:
        return "WatermarkWrongSize";
    case Error::Code::WatermarkNotGrey:
        return "WatermarkNotGrey";
    case Error::Code::ThresholdInvalid:
        return "ThresholdInvalid";
    case Error::Code::BadChannels:
        return "BadChannels";
    case Error::Code::SizesDiffer:
        return "SizesDiffer";
    case Error::Code::Empty:
        return "Empty";
    case Error::Code::TooSmall:
        return "TooSmall";
    case Error::Code::KeyTooShort:
        return "KeyTooShort";
    case Error::Code::BadBitDepth:
        return "BadBitDepth";
    }
    return "Unknown";
}

Pixels::Pixels(int width, int height, int channels)
    : width(width), height(height), channels(channels),
      data(static_cast<std::size_t>(width) * height * channels) {}

std::string idFromName(const std::string &path) { return imageId({.id = {}, .fromName = true}, path); }

std::vector<std::uint8_t> keyFromPassphrase(std::string_view passphrase) {
    const SecretBytes key = ombrel::keyFromPassphrase(
        {reinterpret_cast<const std::uint8_t *>(passphrase.data()), passphrase.size()});
    return {key.begin(), key.end()};
}

Embedded embed(PixelView cover, PixelView watermark, int threshold, const Key *key) {
    double psnr = 0;
    const Surface image = marked(cover, watermark, threshold, key, &psnr);
    return {rgbOf(image.image()), psnr};
}

Pixels mark(PixelView cover, PixelView watermark, int threshold, const Key *key) {
    return rgbOf(marked(cover, watermark, threshold, key).image());
}

Pixels extract(PixelView image, const Key *key) {
    const std::optional<Keystream> keystream = keystreamOf(key);
    return greyOf(ombrel::extract(coverSurface(image), {}, keystream ? &*keystream : nullptr).image());
}

double psnr(PixelView a, PixelView b) { return compare(a, b).psnr; }

double nc(PixelView a, PixelView b) { return compare(a, b).nc; }

double ssim(PixelView a, PixelView b) {
    compare(a, b); // the same refusals for empty pictures and other sizes
    const auto s = structuralSimilarity(surfaceFrom(a).image(), surfaceFrom(b).image());
    if (!s)
        refuse(Error::Code::TooSmall, qualityProblemText(s.error(), {a.width, a.height}, {b.width, b.height}));
    return *s;
}

VerifyReport verify(PixelView image, PixelView watermark, int threshold, const Key *key) {
    checkThreshold(threshold);
    const std::optional<Keystream> keystream = keystreamOf(key);
    const Surface picture = coverSurface(image);
    const MarkReport found = verifyMark(picture.image(), MarkBits(watermarkSurface(watermark), threshold),
                                        keystream ? &*keystream : nullptr);
    VerifyReport report;
    report.intact = found.intact();
    report.noBlockMatches = found.noBlockMatches();
    report.bitsCompared = found.bitsCompared;
    report.bitsDiffering = found.bitsDiffering;
    report.pixelsDiffering = found.pixelsDiffering;
    report.blocksChecked = found.blocksChecked;
    report.blocksAltered = found.blocksAltered;
    if (found.alteredBox)
        report.alteredBox = VerifyReport::Box{found.alteredBox->left, found.alteredBox->top,
                                              found.alteredBox->right, found.alteredBox->bottom};
    report.blocksAcross = found.blocksAcross();
    report.blocksDown = static_cast<int>(found.altered.size()) / report.blocksAcross;
    report.alteredBlocks = found.flagged;
    return report;
}

void sealInPlace(SampleSpan picture, const Key &key, int threads) {
    const SealPixels pixels =
        sealPixels(picture.data, picture.width, picture.height, picture.channels, picture.bitDepth);
    checkKeyOf(key);
    sealPicture(pixels, key.secret, key.id, threads);
}

Samples seal(SampleView picture, const Key &key, int threads) {
    sealPixels(picture.data, picture.width, picture.height, picture.channels, picture.bitDepth);
    checkKeyOf(key);
    Samples out;
    out.width = picture.width;
    out.height = picture.height;
    out.channels = picture.channels;
    out.bitDepth = picture.bitDepth;
    const std::size_t n = std::size_t(picture.width) * picture.height * picture.channels;
    if (picture.bitDepth == 16) {
        const auto *from = static_cast<const std::uint16_t *>(picture.data);
        out.samples16.assign(from, from + n);
        sealInPlace({out.samples16.data(), out.width, out.height, out.channels}, key, threads);
    } else {
        const auto *from = static_cast<const std::uint8_t *>(picture.data);
        out.samples8.assign(from, from + n);
        sealInPlace({out.samples8.data(), out.width, out.height, out.channels}, key, threads);
    }
    return out;
}

CheckReport check(SampleView picture, const Key &key, int threads) {
    const SealPixels pixels =
        sealPixels(picture.data, picture.width, picture.height, picture.channels, picture.bitDepth);
    checkKeyOf(key);
    const SealReport found = checkSeal(pixels, key.secret, key.id, threads);
    CheckReport report;
    report.intact = found.intact();
    report.noUnitMatches = found.noUnitMatches();
    report.unitsChecked = found.unitsChecked;
    report.unitsAltered = found.unitsAltered;
    report.unitsAcross = found.units.across;
    report.unitsDown = found.units.down;
    if (found.alteredBox)
        report.alteredBox = CheckReport::Box{found.alteredBox->left, found.alteredBox->top,
                                             found.alteredBox->right, found.alteredBox->bottom};
    report.alteredUnits = found.altered;
    report.width = picture.width;
    report.height = picture.height;
    return report;
}

CheckReport::Box CheckReport::unitBox(int ux, int uy) const {
    const SealUnits u = sealUnits(width, height);
    return {u.left(ux), u.top(uy), u.left(ux) + u.unitWidth(ux) - 1, u.top(uy) + u.unitHeight(uy) - 1};
}

} // namespace ombrel
