// SPDX-License-Identifier: Apache-2.0
#include "windows/frmencode3.h"

#include "platform/platform.h"
#include "windows/controls.h"
#include "windows/flow.h"
#include "windows/session.h"

namespace ombrel::windows {

FrmEncode3::FrmEncode3(Session &session)
    : ResultScreen("frmencode3", QStringLiteral("Success .... "), QSize(610, 567), Border::FixedSingle),
      session(session) {
    makeLabel(this, "lblcong",
              QStringLiteral("Congratulations , the watermark was successfully embedded into the cover image ... "),
              QRect(16, 12, 578, 48), Qt::AlignLeft | Qt::AlignTop, makeFont("", 12));
    QLabel *lblwav = makeLabel(this, "lblwav", QStringLiteral("The wavelet transform level 2 result"), QRect(16, 64, 260, 40),
              Qt::AlignCenter, makeFont("", 9.75));
    imgwavelet = new ImageBox(this, "imgwavelet", QRect(46, 106, 200, 200), lblwav);
    QLabel *lblresult = makeLabel(this, "lblresult", QStringLiteral("The resulting image after embedding the watermark"),
              QRect(300, 64, 294, 40), Qt::AlignCenter, makeFont("", 9.75));
    imgend = new ImageBox(this, "imgend", QRect(315, 106, 265, 197), lblresult);
    cmdsave = makeButton(this, "cmdsave", QStringLiteral("Save the watermarked image"), QRect(315, 330, 265, 32));
    cmdback = makeButton(this, "cmdback", QStringLiteral("<<   Back "), QRect(16, 520, 130, 32));
    cmdmain = makeButton(this, "cmdmain", QStringLiteral("Go to Main menu"), QRect(240, 520, 130, 32));
    cmdexit = makeButton(this, "cmdexit", QStringLiteral("Exit"), QRect(464, 520, 130, 32));
    connectCommands();
}

void FrmEncode3::formLoad() {
    session.buffers.picwavelet();
    const auto wavelet = loadOrReport(fixed_files::path(fixed_files::kFirstPicture));
    if (!wavelet)
        return;
    const auto output = loadOrReport(fixed_files::path(fixed_files::kWatermarked));
    if (!output)
        return;
    imgwavelet->showPicture(*wavelet, QString::fromLatin1(fixed_files::kFirstPicture));
    imgend->showPicture(*output, QString::fromLatin1(fixed_files::kWatermarked));
    loadedOk_ = true;
}

void FrmEncode3::goBack() { embedding_flow::back(*this); }

SaveFlowTexts watermarkedSaveTexts() {
    return {QStringLiteral("bmp file (*.bmp)|*.bmp|"), QStringLiteral("File exists"),
            QStringLiteral("The file already exists, do you want to overwrite ?")};
}

SaveFlowTexts FrmEncode3::saveTexts() const { return watermarkedSaveTexts(); }

const Surface &FrmEncode3::savedSurface() const { return session.buffers.piccover(); }

} // namespace ombrel::windows
