// SPDX-License-Identifier: Apache-2.0
#pragma once

class QImage;

namespace ombrel::windows {

// The program's own emblem, an umbrella in a ring, drawn at any size: the
// About window's icon, the window icon and the installed theme icons.
QImage drawEmblem(int size);

} // namespace ombrel::windows
