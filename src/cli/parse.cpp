// SPDX-License-Identifier: Apache-2.0
#include "cli/parse.h"

#include <algorithm>

namespace ombrel::cli {

Parsed parse(const std::vector<std::string> &args, std::size_t from,
             const std::vector<OptionDef> &known) {
    Parsed parsed;
    for (std::size_t i = from; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "-h" || a == "--help") {
            parsed.help = true;
            continue;
        }
        if (a.size() <= 1 || a[0] != '-') { // "-" names standard input, a file
            parsed.positional.push_back(a);
            continue;
        }
        std::string name = a, value;
        bool inlineValue = false;
        if (const auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            inlineValue = true;
        }
        const auto def = std::find_if(known.begin(), known.end(), [&](const OptionDef &d) {
            return name == d.spelling || (!d.letter.empty() && name == d.letter);
        });
        if (def == known.end())
            throw UsageError("unknown option " + name);
        if (!def->takesValue && inlineValue)
            throw UsageError("option " + name + " takes no value");
        if (def->takesValue && !inlineValue) {
            if (i + 1 >= args.size())
                throw UsageError("option " + name + " needs a value");
            value = args[++i];
        }
        parsed.options[std::string(def->name)].push_back(value);
    }
    return parsed;
}

std::optional<std::string> option(const Parsed &p, std::string_view name) {
    const auto it = p.options.find(name);
    if (it == p.options.end())
        return std::nullopt;
    return it->second.back();
}

std::string required(const Parsed &p, std::string_view name, const std::string &message) {
    auto value = option(p, name);
    if (!value)
        throw UsageError(message);
    return *value;
}

void expectPositional(const Parsed &p, std::size_t count, const std::string &message) {
    if (p.positional.size() != count)
        throw UsageError(message);
}

} // namespace ombrel::cli
