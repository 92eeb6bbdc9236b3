// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "stego/progress.h"
#include "windows/window.h"

class QProgressBar;

namespace ombrel::windows {

// "Loading .....": the progress window of the long operations.
class FrmLoading : public Window {
    Q_OBJECT
public:
    FrmLoading();

    void setValue(int value);
    void setMax(int max);
    // Feeds the bar from a pipeline's progress.
    ProgressFn progress();

protected:
    void titleBarClose() override {}

private:
    QProgressBar *ProgressBar1;
};

} // namespace ombrel::windows
