// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "windows/window.h"

class QPushButton;

namespace ombrel::marking {
struct Keying;
}

namespace ombrel::windows {

class ImageBox;
class Session;

// "Extracting the watermark": shows the chosen image and runs the extraction.
class FrmDecode1 : public Window {
    Q_OBJECT
public:
    explicit FrmDecode1(Session &session);
    void formLoad() override;

protected:
    void titleBarClose() override { cmdback_Click(); }

private:
    // The run's state, shared with the other screens.
    Session &session;

    ImageBox *imgmod;
    QPushButton *cmdback, *cmdnext, *cmdkey;

    void cmdback_Click();
    void cmdnext_Click();
    // The extraction, the keystream taken off first when the key screen gave a key.
    void extractWith(const marking::Keying &key);
};

} // namespace ombrel::windows
