// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "windows/window.h"

class QLabel;
class QPushButton;

namespace ombrel::windows {

// "About ...": title, version, description, and the system information tool.
class FrmAbout : public Window {
    Q_OBJECT
public:
    FrmAbout();
    void formLoad() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QLabel *picIcon, *lblTitle, *lblVersion, *lblDescription;
    QPushButton *cmdOK, *cmdSysInfo;

    // Starts the configured system information program, or says it cannot.
    void StartSysInfo();
};

} // namespace ombrel::windows
