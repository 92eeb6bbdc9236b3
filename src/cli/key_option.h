// SPDX-License-Identifier: Apache-2.0
#pragma once

// The key of a keyed mark as the tool takes it: the bytes of a file named by
// --key-file, or a passphrase (never the key itself on the command line), and
// the rule that gives each picture its id.

#include "cli/parse.h"
#include "marking/key_files.h"
#include "marking/keying.h"
#include "stego/keyed_mark.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace ombrel::cli {

using marking::HashedPicture;
using marking::keyed;
using marking::kMaxKeyFileBytes;
using marking::Passphrase;
using marking::readKeyBytes;
using marking::readKeyFile;
using marking::readPassphraseLine;
using marking::unkeyed;

// What --key-file, --passphrase, --passphrase-file, --id and --id-from-name
// ask, read once a run: no secret for a keyless mark.
using KeyOption = marking::Keying;

// With a key and each picture's id from its name, a line on err for every
// two pictures that come to share an id (one name in two folders, or with two
// extensions): a region of one pasted into the other would go unseen.
void warnOfSharedIds(const std::vector<std::string> &paths, const KeyOption &key, std::ostream &err);

// Asks for the passphrase a second time on the terminal with Confirm: for
// marking, where a slip of the finger would seal under a key nobody knows.
KeyOption keyOption(const Parsed &p, Passphrase ask = Passphrase::AskOnce);

} // namespace ombrel::cli
