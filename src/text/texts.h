// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "text/version.h"

#include <string_view>

// The program's own words, shared by the windows and the command-line tool.
namespace ombrel::text {

inline constexpr std::string_view kApplicationTitle = "Ombrel's Colored Digital Watermarking ";
// Set once, as the project's version in the build.
inline constexpr std::string_view kVersion = OMBREL_VERSION;
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

} // namespace ombrel::text
