// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/surface.h"

namespace ombrel {

// Fitting a picture of any size to the sizes this program works on, for
// covers and watermarks that come from cameras and test sets.
//
// The picture is scaled by one factor for both axes, the smallest that makes
// it cover width x height, and the centre width x height is cut out. Each
// channel is resampled separably:
//   - shrinking averages the area that an output pixel covers in the source,
//     partly covered source pixels counting by the part they cover;
//   - enlarging interpolates bilinearly between the four nearest source pixel
//     centres, clamped at the edges;
// and the result is rounded to the nearest level, ties to even. Same input,
// same output: the arithmetic is plain double precision in a fixed order.
// An empty picture, or an empty target, gives an empty picture.
Image fitPicture(const Image &picture, int width, int height);

// A cover of any size as 1024 x 768.
Image fitCover(const Image &picture);

// A watermark of any size and colour as 512 x 512 grey: fitted in colour,
// then each pixel turned into its ITU-R BT.601 luma
// (0.299 R + 0.587 G + 0.114 B, rounded to the nearest level, ties to even).
Image fitWatermark(const Image &picture);

} // namespace ombrel
