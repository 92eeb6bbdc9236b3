// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "windows/window.h"

class QLabel;
class QPushButton;

namespace ombrel::windows {

class DriveList;
class DirList;
class FileList;
class ImageBox;
class Session;

// "Digital Image watermarking in wavelet domain": the start-up window, where
// the cover (or the watermarked image) is picked and both wizards begin. The
// pick is kept in the session's cover, which its load handler empties.
class FrmMain : public Window {
    Q_OBJECT
public:
    explicit FrmMain(Session &session);
    void formLoad() override;

protected:
    void titleBarClose() override;

private:
    // The run's state, shared with the other screens.
    Session &session;

    DriveList *Drive1;
    DirList *Dir1;
    FileList *File1;
    ImageBox *img1;
    QLabel *lblpro;
    QPushButton *cmdload, *cmdencode, *cmddecode, *cmdabout, *cmdexit, *cmdcheck;

    // The browsing place, as the watermark chooser will open on it.
    void notePlace();
    void cmdload_Click();
    void Drive1_Change();
    void Dir1_Change();
    void File1_Click(const QString &fileName);
    void cmdencode_Click();
    void cmddecode_Click();
    void cmdabout_Click();
    void cmdcheck_Click();
    void cmdexit_Click();
};

} // namespace ombrel::windows
