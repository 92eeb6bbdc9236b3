// SPDX-License-Identifier: Apache-2.0
#pragma once

// How the marking library says no: one line naming the file and the reason,
// which the tool prints on stderr and the desktop program in a message box.

#include <stdexcept>

namespace ombrel::marking {

struct Refusal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

} // namespace ombrel::marking
