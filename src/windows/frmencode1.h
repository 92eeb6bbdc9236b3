#pragma once

#include "windows/window.h"

class QLabel;
class QPushButton;

namespace ombrel::windows {

class DriveList;
class DirList;
class FileList;
class ImageBox;

// "Choosing the water mark": the first screen of the embedding wizard.
class FrmEncode1 : public Window {
    Q_OBJECT
public:
    // Kept across unloading: a reopened chooser still knows the last watermark.
    struct State {
        QString path;
        int width = 0;
        int height = 0;
        bool grey = false;
        bool sizeOk = false;
    };

    FrmEncode1();
    void formLoad() override;

    DriveList *Drive2;
    DirList *Dir2;
    FileList *File2;
    ImageBox *imgcover, *imgwater;
    QLabel *lbl2;
    QPushButton *cmdload, *cmdnext, *cmdback;

    void cmdload_Click();

protected:
    void titleBarClose() override { cmdback_Click(); }

private:
    State &state();
    void File2_Click(const QString &fileName);
    void cmdnext_Click();
    void cmdback_Click();
};

} // namespace ombrel::windows
