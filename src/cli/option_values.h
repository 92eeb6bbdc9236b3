// SPDX-License-Identifier: Apache-2.0
#pragma once

// The values of the options several commands share, checked as the tool
// reads them.

#include "cli/parse.h"

namespace ombrel::cli {

// The threshold option (default 0) in the range the embedding accepts.
int thresholdOption(const Parsed &p);

// Whether a command fits pictures of other sizes: not at all, only when
// asked with --fit (then a refusal mentions it), or now.
enum class Fit { NotOffered, Offered, On };
// Offered, or On when p has --fit.
Fit fitOption(const Parsed &p);

} // namespace ombrel::cli
