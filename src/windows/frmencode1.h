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

// "Choosing the water mark": the first screen of the embedding wizard. The
// pick is kept in the session, so a reopened chooser still knows it.
class FrmEncode1 : public Window {
    Q_OBJECT
public:
    explicit FrmEncode1(Session &session);
    void formLoad() override;

protected:
    void titleBarClose() override { cmdback_Click(); }

private:
    // The run's state, shared with the other screens.
    Session &session;

    DriveList *Drive2;
    DirList *Dir2;
    FileList *File2;
    ImageBox *imgcover, *imgwater;
    QLabel *lbl2;
    QPushButton *cmdload, *cmdnext, *cmdback;

    void cmdload_Click();
    void File2_Click(const QString &fileName);
    void cmdnext_Click();
    void cmdback_Click();
};

} // namespace ombrel::windows
