// SPDX-License-Identifier: Apache-2.0
#include "cli/key_option.h"

#include "cli/options.h"

#include <map>
#include <ostream>

namespace ombrel::cli {

namespace {

SecretBytes passphraseFromTerminal(Passphrase ask) {
    try {
        return marking::typedPassphrase(ask);
    } catch (const marking::NoTerminal &none) {
        throw UsageError(none.what());
    }
}

} // namespace

KeyOption keyOption(const Parsed &p, Passphrase ask) {
    using namespace options;
    const auto keyFile = option(p, kKeyFile.name);
    const auto passphraseFile = option(p, kPassphraseFile.name);
    const bool typed = option(p, kPassphrase.name).has_value();
    const int sources = (keyFile ? 1 : 0) + (passphraseFile ? 1 : 0) + (typed ? 1 : 0);
    if (sources > 1)
        throw UsageError("--key-file, --passphrase and --passphrase-file exclude each other");

    KeyOption key;
    const auto id = option(p, kId.name);
    key.ids.fromName = option(p, kIdFromName.name).has_value();
    if (id && key.ids.fromName)
        throw UsageError("--id and --id-from-name exclude each other");
    if (sources == 0) {
        if (id || key.ids.fromName)
            throw UsageError(std::string(id ? "--id" : "--id-from-name") + " needs --key-file");
        return key;
    }
    key.ids.id = id.value_or("");
    if (keyFile) {
        key.secret = readKeyFile(*keyFile);
    } else {
        const SecretBytes passphrase =
            typed ? passphraseFromTerminal(ask) : marking::readPassphraseFile(*passphraseFile);
        key.secret = keyFromPassphrase(passphrase);
    }
    return key;
}

void warnOfSharedIds(const std::vector<std::string> &paths, const KeyOption &key, std::ostream &err) {
    if (!key.secret || !key.ids.fromName)
        return;
    std::map<std::string, const std::string *> first;
    for (const std::string &path : paths) {
        const auto [at, isNew] = first.try_emplace(imageId(key.ids, path), &path);
        if (!isNew)
            err << "warning: " << *at->second << " and " << path << " share the id \"" << at->first
                << "\": a region pasted from one into the other would go unseen\n";
    }
}

} // namespace ombrel::cli
