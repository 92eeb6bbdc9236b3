// SPDX-License-Identifier: Apache-2.0
#pragma once

namespace ombrel::windows {

// The windows ask for the fonts they were drawn with: "MS Sans Serif" 8.25 pt
// for dialog text, "Times New Roman" and "Tahoma" where a control names them.
// Where such a family is not installed, Qt falls back to the Liberation face
// with (nearly) the same metrics instead of whatever fontconfig picks, which
// on a stock system is a wider face that clips the texts. Call once, before
// the first window is created.
void useWindowFonts();

} // namespace ombrel::windows
