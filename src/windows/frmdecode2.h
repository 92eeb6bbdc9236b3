// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "windows/result_screen.h"

namespace ombrel::windows {

class ImageBox;
class Session;

// "The watermark": the end of the extraction wizard.
class FrmDecode2 : public ResultScreen {
    Q_OBJECT
public:
    explicit FrmDecode2(Session &session);
    void formLoad() override;

protected:
    void goBack() override;
    SaveFlowTexts saveTexts() const override;
    const Surface &savedSurface() const override;

private:
    // The run's state, shared with the other screens.
    Session &session;

    ImageBox *imgwater;
};

} // namespace ombrel::windows
