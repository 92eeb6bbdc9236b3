#pragma once

#include "imaging/surface.h"

#include <optional>
#include <string>
#include <string_view>

namespace ombrel {

// The program's own words for the intake verdicts, shared by the windows and
// the command-line tool.
namespace text {
inline constexpr std::string_view kApplicationTitle = "Ombrel's Colored Digital Watermarking ";
inline constexpr std::string_view kVersion = "1.0.0";
inline constexpr std::string_view kCoverWrongSize =
    "The image is not 1024x768, please choose an image with 1024x768 dimensions";
inline constexpr std::string_view kCoverSuitable = "The image is suitable for the encoding, 1024x768 image";
inline constexpr std::string_view kWatermarkWrongSize =
    "The image is not 512x512, please choose an image with 512x512 dimensions";
inline constexpr std::string_view kWatermarkNotGrey = "The image is not grey scale (8 bit)";
inline constexpr std::string_view kWatermarkSuitable =
    "The image is suitable for the encoding, 512x512 image, with grey scale colors (8 bit)";
inline constexpr std::string_view kThresholdInvalid =
    "The threshold value is not in range, or invalid, please enter a threshold value in the "
    "range (-255,255)";
} // namespace text

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
