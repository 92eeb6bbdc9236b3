#pragma once

// The key of a keyed mark as the tool takes it: the bytes of a file named by
// --key-file (never the key itself on the command line), and the image's id.

#include "cli/parse.h"
#include "stego/keyed_mark.h"

#include <functional>
#include <optional>
#include <string>

namespace ombrel::cli {

// The largest key file read: a key is a short secret, and a file this size
// is surely not one.
inline constexpr std::size_t kMaxKeyFileBytes = 1 << 20;

// The key file's bytes as the secret, with id; a refusal naming the file and
// the reason when it is missing, unreadable, a folder, empty, too short or
// too large.
MarkKey readKeyFile(const std::string &path, std::string id);

// The key of --key-file and --id (default ""), or none without --key-file;
// --id alone is a usage error.
std::optional<MarkKey> keyOption(const Parsed &p);

// The id a picture of a batch is marked and checked with, when --id names
// none: its file name without the extension, which a marked JPEG's .png
// keeps.
std::string batchId(const std::string &path);

// The keystream a picture of a batch is keyed with: none without a key;
// the key's id when --id was given, else the picture's batchId.
std::optional<Keystream> batchKeystream(const std::optional<MarkKey> &key, bool idGiven,
                                        const std::string &path);

// The keystream of that key, built once for a command's one image.
std::optional<Keystream> keystreamOption(const Parsed &p);

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
