// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "windows/result_screen.h"

namespace ombrel::windows {

class ImageBox;
class Session;

// How the watermarked image is saved under a chosen name, here and at the
// end of the embedding itself.
SaveFlowTexts watermarkedSaveTexts();

// "Success .... ": the end of the embedding wizard.
class FrmEncode3 : public ResultScreen {
    Q_OBJECT
public:
    explicit FrmEncode3(Session &session);
    void formLoad() override;

protected:
    void goBack() override;
    SaveFlowTexts saveTexts() const override;
    const Surface &savedSurface() const override;

private:
    // The run's state, shared with the other screens.
    Session &session;

    ImageBox *imgwavelet, *imgend;
};

} // namespace ombrel::windows
