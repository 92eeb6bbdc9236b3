#pragma once

// The commands that judge a watermark, each in its own file.

#include "cli/command.h"

namespace ombrel::cli {

extern const char kVerifyHelp[];
int verifyCommand(const Parsed &p, std::ostream &out, std::ostream &err);

extern const char kAttackHelp[];
int attackCommand(const Parsed &p, std::ostream &out, std::ostream &err);

extern const char kEvaluateHelp[];
int evaluateCommand(const Parsed &p, std::ostream &out, std::ostream &err);

} // namespace ombrel::cli
