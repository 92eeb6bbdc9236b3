// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "windows/picture_files.h"
#include "windows/window.h"

class QPushButton;

namespace ombrel::windows {

// What the two screens that end a wizard share: back, main menu, save and
// exit, and a load that can fail when the picture they show is unreadable.
class ResultScreen : public Window {
    Q_OBJECT
public:
    using Window::Window;
    bool loadSucceeded() const override { return loadedOk_; }

protected:
    QPushButton *cmdback = nullptr, *cmdmain = nullptr, *cmdsave = nullptr, *cmdexit = nullptr;

    // Wires the four buttons once the screen has made them.
    void connectCommands();
    virtual void goBack() = 0;
    virtual SaveFlowTexts saveTexts() const = 0;
    virtual const Surface &savedSurface() const = 0;
    void titleBarClose() override { goBack(); }

    bool loadedOk_ = false;

private:
    void cmdmain_Click();
    void cmdsave_Click();
};

} // namespace ombrel::windows
