// SPDX-License-Identifier: Apache-2.0
#pragma once

// The tool's commands, each in its own file with its help.

#include "cli/command.h"

namespace ombrel::cli {

extern const char kEmbedHelp[];
int embedCommand(const Parsed &p, std::ostream &out, std::ostream &err);
// Whether a command line asks for the form over many files, where the output
// options name folders.
bool embedIsBatch(const Parsed &p);
bool extractIsBatch(const Parsed &p);
bool verifyIsBatch(const Parsed &p);

extern const char kExtractHelp[];
int extractCommand(const Parsed &p, std::ostream &out, std::ostream &err);

extern const char kCompareHelp[];
int compareCommand(const Parsed &p, std::ostream &out, std::ostream &err);

extern const char kDemoHelp[];
int demoCommand(const Parsed &p, std::ostream &out, std::ostream &err);

extern const char kVerifyHelp[];
int verifyCommand(const Parsed &p, std::ostream &out, std::ostream &err);

extern const char kAttackHelp[];
int attackCommand(const Parsed &p, std::ostream &out, std::ostream &err);

extern const char kEvaluateHelp[];
int evaluateCommand(const Parsed &p, std::ostream &out, std::ostream &err);

extern const char kKeygenHelp[];
int keygenCommand(const Parsed &p, std::ostream &out, std::ostream &err);

} // namespace ombrel::cli
