// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "platform/platform.h"

namespace ombrel::platform {

// The services as a person meets them: Qt's dialogs, QSettings in system
// scope, QProcess for the launcher, the real
// file system with the user's home folder as c:.
class QtServices {
public:
    Services services();

private:
    class Messages;
    class Input;
    class Save;
    class Settings;
    class Launcher;
    class Exit;
    class Files;
    class Open;
};

} // namespace ombrel::platform
