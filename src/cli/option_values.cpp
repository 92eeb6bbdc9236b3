// SPDX-License-Identifier: Apache-2.0
#include "cli/option_values.h"

#include "cli/cli.h"
#include "cli/options.h"
#include "stego/intake.h"
#include "text/texts.h"

namespace ombrel::cli {

int thresholdOption(const Parsed &p) {
    const auto threshold = parseThreshold(option(p, options::kThreshold.name).value_or("0"));
    if (!threshold)
        throw Refusal(std::string(text::kThresholdInvalid));
    return *threshold;
}

Fit fitOption(const Parsed &p) { return option(p, options::kFit.name) ? Fit::On : Fit::Offered; }

} // namespace ombrel::cli
