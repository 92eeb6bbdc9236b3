// SPDX-License-Identifier: Apache-2.0
#pragma once

// Pictures as their files store them: 8- or 16-bit samples, grey, grey and
// alpha, RGB or RGBA, never premultiplied, widened or narrowed. The seal
// works on these; the colour words of the rest of the program would lose
// the second byte of a 16-bit photograph and its alpha.

#include "imaging/file_error.h"
#include "imaging/file_replacement.h"
#include "imaging/picture_formats.h"
#include "imaging/result.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ombrel {

// Past this many pixels a header is refused before anything is allocated:
// half a gigapixel, 4 GiB as 16-bit RGBA.
inline constexpr long long kMaxSampledPixels = 1LL << 29;

// What of a file's other contents a picture carries to the file it is
// written to: how its colours are to be read. Everything else (text, EXIF,
// XMP, times, the palette) stays behind.
struct ColourSpace {
    std::string iccProfile;                   // PNG iCCP, TIFF's ICC tag
    std::string iccName = "ICC profile";      // PNG's name for it
    std::optional<int> srgbIntent;            // PNG sRGB
    std::optional<long> gamma;                // PNG gAMA, times 100000
    std::optional<std::array<long, 8>> chrm;  // PNG cHRM: white x, y, red, green, blue, times 100000
};

struct SampledPicture {
    int width = 0, height = 0;
    int channels = 0; // 1 grey, 2 grey and alpha, 3 RGB, 4 RGBA
    int bitDepth = 8; // 8 or 16
    // Rows packed, samples interleaved; one of the two is used, by bitDepth.
    // 16-bit samples are in host order.
    std::vector<std::uint8_t> narrow;
    std::vector<std::uint16_t> wide;
    ColourSpace colour;
    FileFormat readAs = FileFormat::Png; // the format of the file it came from
    // A TIFF's own lossless compression, kept when written to TIFF again, and
    // its ExtraSamples kind: 2 unassociated alpha, 1 premultiplied (kept so,
    // never undone), 0 unspecified.
    int tiffCompression = 1;
    int tiffExtraSample = 2;

    bool hasAlpha() const { return channels == 2 || channels == 4; }
    std::size_t samples() const { return static_cast<std::size_t>(width) * height * channels; }
    void *data() { return bitDepth == 16 ? static_cast<void *>(wide.data()) : static_cast<void *>(narrow.data()); }
    unsigned at(std::size_t i) const { return bitDepth == 16 ? wide[i] : narrow[i]; }
    // "RGB, 16 bits a sample", for messages.
    std::string layout() const;
};

using LoadedSamples = Result<SampledPicture, FileError>;

// Reads PNG, TIFF, BMP or PPM/PGM by content, as stored. PNG palettes become
// RGB (RGBA with a transparency chunk) and grey of 1, 2 or 4 bits 8-bit
// grey; BMP is 8-bit RGB, RGBA or, for a grey palette, grey. A format or
// layout with no such samples (JPEG, a tiled or many-page TIFF, a PPM whose
// maximum is neither 255 nor 65535, ...) is refused in one line.
LoadedSamples loadSamples(const std::string &path);

// Writes the picture in the format given, in its own layout, through a
// temporary beside path and a rename. A format that cannot hold the layout
// as it is (16 bits or alpha in BMP, alpha or grey in PPM, colour in PGM) is
// refused before anything is written; nothing at path changes then.
Result<void, FileError> saveSamples(const SampledPicture &picture, const std::string &path, FileFormat format,
                                    Durability durability);

// Why format cannot hold the picture's layout, or nothing when it can.
std::optional<std::string> layoutRefusal(const SampledPicture &picture, FileFormat format);

} // namespace ombrel
