// SPDX-License-Identifier: Apache-2.0
#pragma once

// The values of the options several commands share, checked as the tool
// reads them.

#include "cli/parse.h"
#include "marking/pictures.h"

namespace ombrel::cli {

// The threshold option (default 0) in the range the embedding accepts.
int thresholdOption(const Parsed &p);

using marking::Fit;
// Offered, or On when p has --fit.
Fit fitOption(const Parsed &p);

} // namespace ombrel::cli
