// SPDX-License-Identifier: Apache-2.0
#pragma once

// A new key for keyed marks, made one way for every front end.

#include "marking/refusal.h"

#include <cstddef>
#include <string>

namespace ombrel::marking {

// 256 bits: more than any search can cover, and twice what BLAKE2b needs.
inline constexpr std::size_t kNewKeyBytes = 32;

// Writes kNewKeyBytes from libsodium's random source into a new file at
// path, its owner's alone (mode 0600) and forced to disk. Refused, leaving
// what was there, when anything stands at path (a file or a link).
void makeKey(const std::string &path);

} // namespace ombrel::marking
