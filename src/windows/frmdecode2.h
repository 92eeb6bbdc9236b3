#pragma once

#include "windows/window.h"

class QPushButton;

namespace ombrel::windows {

class ImageBox;

// "The watermark": the end of the extraction wizard.
class FrmDecode2 : public Window {
    Q_OBJECT
public:
    FrmDecode2();
    void formLoad() override;
    bool loadSucceeded() const override { return loadedOk_; }


    ImageBox *imgwater;
    QPushButton *cmdback, *cmdmain, *cmdsave, *cmdexit;

protected:
    void titleBarClose() override { cmdback_Click(); }

private:
    bool loadedOk_ = false;
    void cmdback_Click();
    void cmdmain_Click();
    void cmdsave_Click();
};

} // namespace ombrel::windows
