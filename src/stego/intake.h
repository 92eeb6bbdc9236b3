// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/surface.h"

#include <optional>
#include <string>
#include <string_view>

namespace ombrel {

// What the intake checks find; the windows, the tool and the API each put
// it in their own words.
enum class Verdict { Suitable, WrongSize, NotGrey };

// A cover must measure 1024 x 768.
Verdict checkCover(int width, int height);

struct WatermarkCheck {
    Verdict verdict = Verdict::Suitable;
    int rowsScanned = 0; // completed rows of the grey test
    int x = 0, y = 0;    // first pixel found not grey
};

// A watermark must measure 512 x 512 (as measured when it was picked), and
// every pixel the embedding reads (x, y = 1..512, rows first) must be grey;
// reads outside the surface give -1, which counts as grey.
WatermarkCheck checkWatermark(int width, int height, const Surface &watermark);

// A threshold reply: blanks, an optional sign, digits with an optional
// decimal fraction, rounded to the nearest whole number (ties to even);
// valid from -255 to 255.
std::optional<int> parseThreshold(std::string_view reply);

} // namespace ombrel
