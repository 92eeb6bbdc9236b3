// SPDX-License-Identifier: Apache-2.0
#pragma once

// The key of a keyed mark as the tool takes it: the bytes of a file named by
// --key-file, or a passphrase (never the key itself on the command line), and
// the rule that gives each picture its id.

#include "cli/parse.h"
#include "stego/keyed_mark.h"

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace ombrel::cli {

// The largest key or passphrase file read: a key is a short secret, and a
// file this size is surely not one.
inline constexpr std::size_t kMaxKeyFileBytes = 1 << 20;

// The key file's bytes, read once (so a pipe, <(...) or a FIFO serves); a
// refusal naming the file and the reason when it is missing, unreadable, a
// folder, open to other users, empty, too short or too large.
SecretBytes readKeyFile(const std::string &path);
// The same from a descriptor already open, path naming it in refusals; the
// file's mode is not looked at.
SecretBytes readKeyBytes(int fd, const std::string &path);
// The first line of a passphrase file from an open descriptor, without its
// line end; refused when empty.
SecretBytes readPassphraseLine(int fd, const std::string &path);

// What --key-file, --passphrase, --passphrase-file, --id and --id-from-name
// ask, read once a run: no secret for a keyless mark.
struct KeyOption {
    std::optional<SecretBytes> secret;
    IdRule ids;

    // The keystream of the picture at path (for a single embed, the output's
    // path), none without a key.
    std::optional<Keystream> keystreamFor(const std::string &path) const;
};

// With a key and each picture's id from its name, a line on err for every
// two pictures that come to share an id (one name in two folders, or with two
// extensions): a region of one pasted into the other would go unseen.
void warnOfSharedIds(const std::vector<std::string> &paths, const KeyOption &key, std::ostream &err);

// Asks for the passphrase a second time on the terminal: for marking, where
// a slip of the finger would seal under a key nobody knows.
enum class Passphrase { AskOnce, Confirm };
KeyOption keyOption(const Parsed &p, Passphrase ask = Passphrase::AskOnce);

// The pointer the core's keyed calls take: null for a keyless mark.
inline const Keystream *keyed(const std::optional<Keystream> &key) { return key ? &*key : nullptr; }

// A picture read, with a keyed mark, while its hashing thread gets going: the
// thread starts on the picture once it is read, and hashes its blocks while
// the caller does other work (reads the watermark). The picture outlives the
// thread; hashes() is null without a key.
class HashedPicture {
public:
    HashedPicture(const Keystream *key, const std::function<Surface()> &read);
    BlockHashes *hashes() { return hashes_ ? &*hashes_ : nullptr; }
    // Lets the thread go once every row has been asked for.
    void doneHashing() { hashes_.reset(); }

    Surface picture{Image()};

private:
    std::optional<BlockHashes> hashes_;
};

// A keyed image with its keystream taken off, to be checked and extracted as
// a keyless mark is, at the cost of one keystream instead of one a call (the
// keystream depends only on bits this leaves alone).
Surface unkeyed(const Surface &image, const Keystream &key);
// The same with the image's hashes under way (started on this image).
Surface unkeyed(const Surface &image, BlockHashes &hashes);

} // namespace ombrel::cli
