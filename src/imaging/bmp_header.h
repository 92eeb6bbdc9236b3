// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/file_error.h"
#include "imaging/result.h"

#include <string_view>

namespace ombrel {

// How much of a file the header check needs: the file header and the
// largest info header it reads.
inline constexpr int kBmpHeadBytes = 14 + 40;

// Checks what Qt's reader lets pass in a Windows bitmap: the size the header
// claims against our cap, and uncompressed pixel data the file does not hold.
// head is the file's first bytes (kBmpHeadBytes, or all of a shorter file);
// the answer is the depth the header claims, or the problem (without a path).
Result<int, FileError> checkBmpHeader(std::string_view head, long long fileSize);

} // namespace ombrel
