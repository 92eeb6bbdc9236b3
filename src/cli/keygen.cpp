// SPDX-License-Identifier: Apache-2.0
#include "cli/commands.h"

#include "marking/new_key.h"

namespace ombrel::cli {

const char kKeygenHelp[] =
    "Usage: ombrel keygen FILE\n"
    "Writes a new key for keyed marks: 32 bytes from the system's random source,\n"
    "into FILE, readable and writable by its owner only (mode 0600). An existing\n"
    "FILE is never replaced. Give it to embed, extract, verify, attack and\n"
    "evaluate with --key-file FILE; keep it secret, since whoever holds it can\n"
    "mark any image as yours.\n";

int keygenCommand(const Parsed &p, std::ostream &out, std::ostream &) {
    expectPositional(p, 1, "keygen needs FILE");
    const std::string &path = p.positional[0];
    marking::makeKey(path);
    out << "Wrote " << path << "\n";
    return kDone;
}

} // namespace ombrel::cli
