// SPDX-License-Identifier: Apache-2.0
#pragma once

// The fixed names of the files the embedding and the extraction write, for
// the side that writes them and the side that reads them back.
namespace ombrel::text::file_names {

inline constexpr const char *kFirstPicture = "wavlettransformresult.bmp";   // after thresholding
inline constexpr const char *kSecondPicture = "wavlettransformresultw2.bmp"; // after quantising
inline constexpr const char *kWatermarked = "output.bmp";
inline constexpr const char *kExtracted = "watermark.bmp";

} // namespace ombrel::text::file_names
