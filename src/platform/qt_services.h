#pragma once

#include "platform/platform.h"

namespace ombrel::platform {

// The services as a person meets them: Qt's dialogs, QSettings in system
// scope, QProcess for the launcher.
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
};

} // namespace ombrel::platform
