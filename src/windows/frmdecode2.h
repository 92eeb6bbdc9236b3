// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "windows/result_screen.h"

namespace ombrel::windows {

class ImageBox;

// "The watermark": the end of the extraction wizard.
class FrmDecode2 : public ResultScreen {
    Q_OBJECT
public:
    FrmDecode2();
    void formLoad() override;

protected:
    void goBack() override;
    SaveFlowTexts saveTexts() const override;
    const Surface &savedSurface() const override;

private:
    ImageBox *imgwater;
};

} // namespace ombrel::windows
