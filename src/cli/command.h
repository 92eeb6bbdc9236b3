// SPDX-License-Identifier: Apache-2.0
#pragma once

// What every command of the tool shares: its options and their values,
// its files, and the way it writes figures.

#include "cli/cli.h"
#include "cli/option_values.h"
#include "cli/options.h"
#include "cli/parse.h"
#include "cli/pictures.h"
#include "cli/text_format.h"

#include <ostream>

namespace ombrel::cli {

using Command = int (*)(const Parsed &, std::ostream &out, std::ostream &err);

} // namespace ombrel::cli
