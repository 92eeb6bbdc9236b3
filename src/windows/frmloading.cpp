// SPDX-License-Identifier: Apache-2.0
#include "windows/frmloading.h"

#include <QProgressBar>

namespace ombrel::windows {

FrmLoading::FrmLoading()
    : Window("frmloading", QStringLiteral("Loading ....."), QSize(439, 38), Border::FixedTool) {
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(0, 0, 439, 38);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
}

void FrmLoading::setValue(int value) { ProgressBar1->setValue(value); }

void FrmLoading::setMax(int max) { ProgressBar1->setMaximum(max); }

ProgressFn FrmLoading::progress() {
    return [this](int value, int max) {
        if (ProgressBar1->maximum() != max)
            setMax(max);
        setValue(value);
    };
}

} // namespace ombrel::windows
