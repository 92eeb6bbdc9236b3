// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "windows/window.h"

#include <optional>

class QLabel;
class QPushButton;

namespace ombrel {
namespace marking {
struct Keying;
}
class EmbedQuantised;
class EmbedRead;
class Progress;
} // namespace ombrel

namespace ombrel::windows {

class FrmLoading;
class ImageBox;
class Session;

// "Wavelet transform and embedding": shows both pictures with their sizes and
// runs the embedding.
class FrmEncode2 : public Window {
    Q_OBJECT
public:
    // The threshold question, asked until it has a number; the key screen's
    // sealing of a picked cover asks it too.
    static int askThreshold();
    explicit FrmEncode2(Session &session);
    void formLoad() override;

protected:
    void titleBarClose() override { cmdback_Click(); }

private:
    // The run's state, shared with the other screens.
    Session &session;

    ImageBox *imgcover, *imgwater;
    QLabel *lblcoverx, *lblcovery, *lblwaterx, *lblwatery;
    QPushButton *cmdnext, *cmdback, *cmdkey;

    // Sizes recorded at load; the pipeline reads a picture only when they fit.
    int coverWidth = 0, coverHeight = 0, waterWidth = 0, waterHeight = 0;

    void cmdnext_Click();
    void cmdback_Click();
    // The embedding, keyed when the key screen gave a key.
    void embedWith(const marking::Keying &key);

    // One embedding: the pipeline's steps, with the threshold question and
    // the fixed files between them.
    EmbedRead readInputs(Progress &progress);
    // None when a fixed file could not be written (reported by then).
    std::optional<EmbedQuantised> transformAndWriteFixedFiles(EmbedRead read, int threshold,
                                                              Progress &progress);
    void embed(const EmbedQuantised &mark, const marking::Keying &key, Progress &progress);
    bool writeWatermarked();
    // False when the user cancelled at the overwrite question.
    bool saveUnderChosenName();
};

} // namespace ombrel::windows
