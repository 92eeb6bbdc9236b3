#pragma once

#include "windows/window.h"

class QLabel;
class QPushButton;

namespace ombrel::windows {

class ImageBox;

// "Wavelet transform and embedding": shows both pictures with their sizes and
// runs the embedding.
class FrmEncode2 : public Window {
    Q_OBJECT
public:
    FrmEncode2();
    void formLoad() override;

    ImageBox *imgcover, *imgwater;
    QLabel *lblcoverx, *lblcovery, *lblwaterx, *lblwatery;
    QPushButton *cmdnext, *cmdback;

    // Sizes recorded at load; the pipeline reads a picture only when they fit.
    int coverWidth = 0, coverHeight = 0, waterWidth = 0, waterHeight = 0;

protected:
    void titleBarClose() override { cmdback_Click(); }

private:
    void cmdnext_Click();
    void cmdback_Click();
};

} // namespace ombrel::windows
