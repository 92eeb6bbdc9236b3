// SPDX-License-Identifier: Apache-2.0
#pragma once

// Pictures as the marking takes them, in its own words: any lossless file
// by content, the covers and watermarks with their size checks, and files
// written in the format their names ask for.

#include "imaging/picture_out.h"
#include "imaging/surface.h"
#include "marking/refusal.h"

#include <string>
#include <vector>

namespace ombrel::marking {

// Any picture the program reads (BMP, PNG, TIFF, PPM/PGM, ...), by content.
Image load(const std::string &path);
// Each file in the format its name asks for (the names were checked before),
// through a temporary beside it and a rename.
void save(const std::vector<PictureToWrite> &files);

// Whether pictures of other sizes are fitted: not at all, only when asked
// (then a refusal names the tool's --fit), or now.
enum class Fit { NotOffered, Offered, On };

// A 1024 x 768 image as the embedding and the extraction take it.
Surface coverSurface(const std::string &path, Fit fit = Fit::NotOffered);
// A 512 x 512 grey watermark.
Surface watermarkSurface(const std::string &path, Fit fit = Fit::NotOffered);

} // namespace ombrel::marking
