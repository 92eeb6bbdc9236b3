// SPDX-License-Identifier: Apache-2.0
#pragma once

// What results.csv does not say about the run that wrote it: the settings,
// the shard and the covers. evaluate writes it beside the table as
// manifest.txt; --resume and --join read it to refuse tables that do not
// belong together.

#include "cli/parse.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace ombrel::cli {

struct RunManifest {
    std::string version;
    std::string watermark;          // the path as given
    std::vector<int> thresholds;    // in the order asked
    bool fit = false;
    std::vector<std::string> attacks; // the names of the rows of a cover, in order
    std::string key;                // "yes" or "no": whether the marks were keyed
    std::string id;                 // "from names", or "TEXT" quoted
    int shardK = 1, shardN = 1;
    bool finished = false;
    std::vector<std::string> covers; // of the whole run, sorted; the shard takes its share

    // Covers K, K + N, ... of the run: this shard's, by index into covers.
    bool holds(std::size_t cover) const { return cover % static_cast<std::size_t>(shardN) ==
                                                 static_cast<std::size_t>(shardK - 1); }
};

// The file's name in a run's folder.
inline constexpr const char *kManifestName = "manifest.txt";

std::string manifestText(const RunManifest &m);
// Refused, naming path, when text is not a manifest this tool writes.
RunManifest parseManifest(const std::string &path, const std::string &text);

// The first setting in which two runs differ, as "thresholds 0,50 and 0" (a's
// value first), leaving out the shard's K and whether it finished; none when
// they are shards of one run.
std::optional<std::string> settingsDiffer(const RunManifest &a, const RunManifest &b);

// evaluate --join SHARD_DIR... -o OUT: the shards' tables as one run's, with
// its summary and chart; refused in one line when they are not every shard
// of one finished run.
int joinShards(const Parsed &p, std::ostream &out, std::ostream &err);

} // namespace ombrel::cli
