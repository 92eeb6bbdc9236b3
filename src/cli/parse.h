// SPDX-License-Identifier: Apache-2.0
#pragma once

// The command line as a command sees it: positional arguments and the values
// of the options it knows, and the two ways a command fails.

#include "marking/refusal.h"

#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ombrel::cli {

// A command line that does not make sense: exit status 2 with the command's help.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A failed command: the one line that goes to stderr, exit status 1.
using marking::Refusal;

// One option a command knows: the name its values go under, its spellings,
// and whether it takes a value ("--fit" does not).
struct OptionDef {
    std::string_view name;
    std::string_view spelling;    // --long
    std::string_view letter = {}; // -x, if it has one
    bool takesValue = true;
};

// Positional arguments and the values of the options given. An option given
// more than once keeps every value, in order; one without a value keeps "".
struct Parsed {
    std::vector<std::string> positional;
    std::map<std::string, std::vector<std::string>, std::less<>> options;
    bool help = false;
};

// args from index from on; "--name=value" works for long options. A usage
// error for an unknown option or a missing or unwanted value.
Parsed parse(const std::vector<std::string> &args, std::size_t from,
             const std::vector<OptionDef> &known);

// The last value given for the option, if any.
std::optional<std::string> option(const Parsed &p, std::string_view name);
// The option's value; a usage error with message when it is missing.
std::string required(const Parsed &p, std::string_view name, const std::string &message);
// Exactly count positional arguments, or a usage error with message.
void expectPositional(const Parsed &p, std::size_t count, const std::string &message);

} // namespace ombrel::cli
