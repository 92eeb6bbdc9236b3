// SPDX-License-Identifier: Apache-2.0
#include "windows/result_screen.h"

#include "platform/platform.h"
#include "windows/flow.h"

#include <QPushButton>

namespace ombrel::windows {

void ResultScreen::connectCommands() {
    connect(cmdback, &QPushButton::clicked, this, &ResultScreen::goBack);
    connect(cmdmain, &QPushButton::clicked, this, &ResultScreen::cmdmain_Click);
    connect(cmdsave, &QPushButton::clicked, this, &ResultScreen::cmdsave_Click);
    connect(cmdexit, &QPushButton::clicked, this, [] { platform::services().exit->end(); });
}

void ResultScreen::cmdmain_Click() { toMainMenu(*this); }

void ResultScreen::cmdsave_Click() { runSaveFlow(saveTexts(), savedSurface()); }

} // namespace ombrel::windows
