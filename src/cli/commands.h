// SPDX-License-Identifier: Apache-2.0
#pragma once

// The tool's commands, each in its own file with its help.

#include "cli/command.h"
#include "cli/key_option.h"
#include "imaging/sampled_picture.h"
#include "stego/seal.h"

#include <string>

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

extern const char kSealHelp[];
int sealCommand(const Parsed &p, std::ostream &out, std::ostream &err);
bool sealIsBatch(const Parsed &p);

extern const char kCheckHelp[];
int checkCommand(const Parsed &p, std::ostream &out, std::ostream &err);
bool checkIsBatch(const Parsed &p);

// What seal and check share: a picture's samples as stored, or the tool's
// refusal; the seal's view of them; the key, a usage error when none was
// given (a seal has no keyless form).
SampledPicture readSampled(const std::string &path);
SealPixels sealView(SampledPicture &picture);
const SecretBytes &sealSecret(const KeyOption &key, const char *command);

} // namespace ombrel::cli
