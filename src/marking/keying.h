// SPDX-License-Identifier: Apache-2.0
#pragma once

// A keyed mark's secret and its id rule as a front end holds them once read,
// and the keyed picture's hashes taken alongside other work.

#include "imaging/surface.h"
#include "stego/keyed_mark.h"

#include <functional>
#include <optional>
#include <string>

namespace ombrel::marking {

// The key read once for a run, and the rule that gives each picture its id:
// no secret for a keyless mark.
struct Keying {
    std::optional<SecretBytes> secret;
    IdRule ids;

    // The keystream of the picture at path (for a single embed, the output's
    // path), none without a key.
    std::optional<Keystream> keystreamFor(const std::string &path) const;
};

// What a key screen asks for, before anything is read: a key file, a new key
// to be made there first, or a passphrase (typed twice when marking).
struct KeyChoice {
    enum class Source { None, KeyFile, NewKey, Passphrase };
    Source source = Source::None;
    std::string path; // the key file, or where the new key goes
    SecretBytes passphrase;
    SecretBytes again; // the second typing; looked at only when confirm is set
    bool confirm = false;
    IdRule ids;
};
// The choice read as the tool reads --key-file, keygen and --passphrase:
// refused in the tool's words (a key file open to others, a new key over an
// existing file, an empty passphrase, two that differ). A passphrase takes
// about a second.
Keying keyingFor(const KeyChoice &choice);

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

} // namespace ombrel::marking
