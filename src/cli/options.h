// SPDX-License-Identifier: Apache-2.0
#pragma once

// Every option of the tool, spelled once; the command table says which
// command knows which, and the commands ask for their values by these names.

#include "cli/parse.h"

namespace ombrel::cli::options {

inline constexpr OptionDef kThreshold{"threshold", "--threshold", "-t"};
inline constexpr OptionDef kOutput{"output", "--output", "-o"};
inline constexpr OptionDef kWatermark{"watermark", "--watermark"};
inline constexpr OptionDef kFit{"fit", "--fit", {}, false};
inline constexpr OptionDef kWaveletPicture{"wavelet", "--wavelet-picture"};
inline constexpr OptionDef kQuantisedPicture{"quantised", "--quantised-picture"};
inline constexpr OptionDef kMap{"map", "--map"};
inline constexpr OptionDef kCsv{"csv", "--csv"};
inline constexpr OptionDef kChart{"chart", "--chart"};
inline constexpr OptionDef kKeep{"keep", "--keep"};
inline constexpr OptionDef kJobs{"jobs", "--jobs", "-j"};
inline constexpr OptionDef kShard{"shard", "--shard"};
inline constexpr OptionDef kResume{"resume", "--resume", {}, false};
inline constexpr OptionDef kOverwrite{"overwrite", "--overwrite", {}, false};
inline constexpr OptionDef kKeyFile{"key-file", "--key-file"};
inline constexpr OptionDef kId{"id", "--id"};
inline constexpr OptionDef kIdFromName{"id-from-name", "--id-from-name", {}, false};
inline constexpr OptionDef kPassphrase{"passphrase", "--passphrase", {}, false};
inline constexpr OptionDef kPassphraseFile{"passphrase-file", "--passphrase-file"};
inline constexpr OptionDef kQuiet{"quiet", "--quiet", {}, false};
inline constexpr OptionDef kJoin{"join", "--join", {}, false};
inline constexpr OptionDef kFileList{"file-list", "--file-list"};
inline constexpr OptionDef kProgress{"progress", "--progress", {}, false};

} // namespace ombrel::cli::options
