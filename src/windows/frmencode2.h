// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "windows/window.h"

#include <optional>

class QLabel;
class QPushButton;

namespace ombrel {
class EmbedQuantised;
class EmbedRead;
class Progress;
} // namespace ombrel

namespace ombrel::windows {

class FrmLoading;
class ImageBox;

// "Wavelet transform and embedding": shows both pictures with their sizes and
// runs the embedding.
class FrmEncode2 : public Window {
    Q_OBJECT
public:
    FrmEncode2();
    void formLoad() override;

protected:
    void titleBarClose() override { cmdback_Click(); }

private:
    ImageBox *imgcover, *imgwater;
    QLabel *lblcoverx, *lblcovery, *lblwaterx, *lblwatery;
    QPushButton *cmdnext, *cmdback;

    // Sizes recorded at load; the pipeline reads a picture only when they fit.
    int coverWidth = 0, coverHeight = 0, waterWidth = 0, waterHeight = 0;

    void cmdnext_Click();
    void cmdback_Click();

    // One embedding: the pipeline's steps, with the threshold question and
    // the fixed files between them.
    EmbedRead readInputs(Progress &progress);
    static int askThreshold();
    // None when a fixed file could not be written (reported by then).
    static std::optional<EmbedQuantised> transformAndWriteFixedFiles(EmbedRead read, int threshold,
                                                                     Progress &progress);
    static void embed(const EmbedQuantised &mark, Progress &progress);
    static bool writeWatermarked();
    // False when the user cancelled at the overwrite question.
    static bool saveUnderChosenName();
};

} // namespace ombrel::windows
