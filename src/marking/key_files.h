// SPDX-License-Identifier: Apache-2.0
#pragma once

// The secrets of a keyed mark as files hold them: a key file's bytes, a
// passphrase file's first line, or a passphrase typed at the terminal.

#include "marking/refusal.h"
#include "stego/keyed_mark.h"

#include <cstddef>
#include <string>

namespace ombrel::marking {

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
// The first line of the passphrase file at path, kept private as a key file is.
SecretBytes readPassphraseFile(const std::string &path);

// There is no terminal to ask on.
struct NoTerminal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A passphrase typed at the terminal without echo; asked a second time with
// Confirm, for marking, where a slip of the finger would seal under a key
// nobody knows. Refused when empty or when the two differ.
enum class Passphrase { AskOnce, Confirm };
SecretBytes typedPassphrase(Passphrase ask);
// A passphrase however it was typed, refused when empty or, with again, when
// the second typing differs; for every front end that asks for one.
const SecretBytes &checkedPassphrase(const SecretBytes &first, const SecretBytes *again);

} // namespace ombrel::marking
