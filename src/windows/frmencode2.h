// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "windows/window.h"

class QLabel;
class QPushButton;

namespace ombrel {
class Progress;
}

namespace ombrel::windows {

class FrmLoading;
class ImageBox;
class Session;

// "Wavelet transform and embedding": shows both pictures with their sizes and
// runs the embedding.
class FrmEncode2 : public Window {
    Q_OBJECT
public:
    explicit FrmEncode2(Session &session);
    void formLoad() override;

protected:
    void titleBarClose() override { cmdback_Click(); }

private:
    // The run's state, shared with the other screens.
    Session &session;

    ImageBox *imgcover, *imgwater;
    QLabel *lblcoverx, *lblcovery, *lblwaterx, *lblwatery;
    QPushButton *cmdnext, *cmdback;

    // Sizes recorded at load; the pipeline reads a picture only when they fit.
    int coverWidth = 0, coverHeight = 0, waterWidth = 0, waterHeight = 0;

    void cmdnext_Click();
    void cmdback_Click();

    // The steps of one embedding, in order.
    void readInputs(Progress &progress);
    static int askThreshold();
    // False when a fixed file could not be written (reported by then).
    bool transformAndWriteFixedFiles(int threshold, Progress &progress);
    void embed(Progress &progress);
    bool writeWatermarked();
    // False when the user cancelled at the overwrite question.
    bool saveUnderChosenName();
};

} // namespace ombrel::windows
