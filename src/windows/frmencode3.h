#pragma once

#include "windows/window.h"

class QPushButton;

namespace ombrel::windows {

class ImageBox;

// "Success .... ": the end of the embedding wizard.
class FrmEncode3 : public Window {
    Q_OBJECT
public:
    FrmEncode3();
    void formLoad() override;
    bool loadSucceeded() const override { return loadedOk_; }


    ImageBox *imgwavelet, *imgend;
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
