// SPDX-License-Identifier: Apache-2.0
#include "windows/frmdecode2.h"

#include "platform/platform.h"
#include "windows/controls.h"
#include "windows/flow.h"
#include "windows/session.h"

namespace ombrel::windows {

FrmDecode2::FrmDecode2(Session &session)
    : ResultScreen("frmdecode2", QStringLiteral("The watermark"), QSize(585, 505), Border::FixedSingle),
      session(session) {
    QLabel *Label1 = makeLabel(this, "Label1", QStringLiteral("The embedded watermark is the following image :"),
              QRect(16, 10, 553, 22), Qt::AlignCenter, makeFont("", 9.75));
    imgwater = new ImageBox(this, "imgwater", QRect(16, 38, 393, 385), Label1);
    cmdsave = makeButton(this, "cmdsave", QStringLiteral("Save watermark image"), QRect(417, 38, 160, 32));
    cmdback = makeButton(this, "cmdback", QStringLiteral("<<   Back"), QRect(16, 458, 130, 32));
    cmdmain = makeButton(this, "cmdmain", QStringLiteral("Go to main menu"), QRect(227, 458, 130, 32));
    cmdexit = makeButton(this, "cmdexit", QStringLiteral("Exit"), QRect(439, 458, 130, 32));
    connectCommands();
}

void FrmDecode2::formLoad() {
    if (const auto picture = loadOrReport(fixed_files::path(fixed_files::kExtracted))) {
        imgwater->showPicture(*picture, QString::fromLatin1(fixed_files::kExtracted));
        loadedOk_ = true;
    }
}

void FrmDecode2::goBack() { extraction_flow::back(*this); }

SaveFlowTexts FrmDecode2::saveTexts() const {
    return {QStringLiteral("BMP file(*.bmp)|*.bmp|"), QStringLiteral("File already exists"),
            QStringLiteral("The file already exists, do you want to overwrite it ?")};
}

const Surface &FrmDecode2::savedSurface() const { return session.buffers.decwater(); }

} // namespace ombrel::windows
