// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/surface.h"
#include "wavelet/grid.h"

#include <cassert>
#include <cstdint>
#include <span>

namespace ombrel {

// Colour words of the cover over 0..1024 x 0..768; -1 where a read fell
// outside the picture (column 1024 and row 768 of a 1024 x 768 cover).
using CoverMatrix = Grid<ColourWord>;
inline constexpr int kCoverWidth = 1024;
inline constexpr int kCoverHeight = 768;

inline CoverMatrix makeCoverMatrix() { return CoverMatrix(kCoverWidth, kCoverHeight); }

// The bands of the 512 x 512 coefficients. Each of the transform's two levels
// halves the averages' side, so the level-2 approximation is 1..128 on both
// axes; every coefficient from 129 on is a detail, 384 of them in a row.
inline constexpr int kBandSize = kWatermarkSize / 4;                 // 128
inline constexpr int kFirstDetail = kBandSize + 1;               // 129
inline constexpr int kDetailsPerRow = kWatermarkSize - kBandSize;    // 384
// The approximation goes three coefficients to a group of four pixels.
inline constexpr int kApproximationGroups = (kBandSize + 2) / 3; // 43
// Stage 2 writes coefficient row y into cover row y + 128; stage 3 writes
// coefficient column x below it, into row x + 640.
inline constexpr int kRightRowOffset = kBandSize;                // 128
inline constexpr int kLowerRowOffset = kBandSize + kWatermarkSize;   // 640
// The coefficient pictures are drawn on the wavelet window's picture, which
// measures 536 x 536: room for the 512 coefficients and a margin.
inline constexpr int kWaveletPictureSize = 536;

// Fills covermatrix(x, y) = surface.point(x, y) for 1 <= x <= 1024, 1 <= y <= row.
void readCoverRow(const Surface &surface, int y, CoverMatrix &covermatrix);

// The cover words the layout reads, row by row: a cover matrix, or an image at
// least as wide as the cover, read where it lies instead of copied. Rows past
// the image's foot read -1, as the cover matrix holds them; so does column
// 1024 of an image that ends before it.
class CoverRows {
public:
    CoverRows(const CoverMatrix &m) // NOLINT: a cover matrix is the usual source
        : base_(m.row(0)), stride_(m.stride()), width_(m.maxX() + 1), height_(m.maxY() + 1) {}
    explicit CoverRows(const Image &image)
        : base_(image.pixels.data()), stride_(image.width), width_(image.width),
          height_(image.height) {
        assert(image.width >= kCoverWidth);
    }

    // Columns 0 .. width() - 1 of row y; a row of -1 past the foot.
    const ColourWord *row(int y) const {
        return y < height_ ? base_ + static_cast<std::size_t>(y) * stride_ : outsideRow();
    }
    ColourWord at(int x, int y) const { return x < width_ ? row(y)[x] : kOutside; }
    int width() const { return width_; }

private:
    static const ColourWord *outsideRow();

    const ColourWord *base_;
    std::size_t stride_;
    int width_, height_;
};

// Where every coefficient bit lives in the cover. The approximation band
// (1..128 x 1..128, 8 bits each) goes two bits per channel into rows 1..128;
// every other coefficient (3 bits) one bit per channel into one pixel of rows
// 129..768. Only the low bits change; the kept bits come from cover, which may
// be the target's own pixels: each pixel is read just before it is written.
//
// Every stage writes its pixels left to right, and the stages cover rows top
// to bottom, so the pixels change in reading order. When errors is given,
// the squared grey difference of each pixel that changes is added to it in
// that order: the sum a whole comparison of the two images forms, to the bit.
//
// Stage 1: approximation row y (1..128), written into cover row y.
void embedApproximationRow(int y, const CoverRows &cover, const CoeffMatrix &coeff,
                           Surface &target, double *errors = nullptr);
// Stage 2: coefficients (129..512, y) for y in 1..512, written into row y + 128.
void embedRightRow(int y, const CoverRows &cover, const CoeffMatrix &coeff, Surface &target,
                   double *errors = nullptr);
// Stage 3: coefficients (x, 129..512) for x in 1..128, written into row x + 640.
void embedLowerColumn(int x, const CoverRows &cover, const CoeffMatrix &coeff,
                      Surface &target, double *errors = nullptr);

// Which bits of each pixel of cover row y (0..767) the three stages write:
// 1024 words, 0x030303 at an approximation pixel, 0x010101 at a detail pixel
// and 0 elsewhere, whatever the coefficients are. Row 0 carries nothing.
const ColourWord *carriedBitsRow(int y);
// The columns of cover row y whose pixels carry bits, left to right.
std::span<const std::uint16_t> carriedColumns(int y);

// The same positions read back.
void gatherApproximationRow(int y, const CoverRows &cover, CoeffMatrix &coeff);
void gatherRightRow(int y, const CoverRows &cover, CoeffMatrix &coeff);
void gatherLowerColumn(int x, const CoverRows &cover, CoeffMatrix &coeff);

// The colour a detail coefficient (0..7, the quantiser's range) gives the
// cover word t: blue bit 0 = b0, green bit 0 = b2, red bit 0 = b1.
inline ColourWord embedDetail(ColourWord t, int value) {
    assert(value >= 0 && value <= 7);
    const ColourWord kept = (t < 0 ? (t & 1) : t) & ~0x010101;
    return kept | ((value & 1) << 16) | ((value >> 2) << 8) | ((value >> 1) & 1);
}
// The 3-bit value a pixel carries: green bit 0, red bit 0, blue bit 0. The
// digit string of -1 (a read outside the picture) is that of 1.
inline int gatherDetail(ColourWord w) {
    const ColourWord v = w < 0 ? (w & 1) : w;
    return (((v >> 8) & 1) << 2) | ((v & 1) << 1) | ((v >> 16) & 1);
}

} // namespace ombrel
