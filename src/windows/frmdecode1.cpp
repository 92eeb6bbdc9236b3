// SPDX-License-Identifier: Apache-2.0
#include "windows/frmdecode1.h"

#include "platform/platform.h"
#include "stego/extraction.h"
#include "windows/controls.h"
#include "windows/flow.h"
#include "windows/frmloading.h"
#include "windows/picture_files.h"
#include "windows/progress_maxima.h"
#include "windows/registry.h"
#include "windows/session.h"

#include <QFileInfo>

namespace ombrel::windows {

FrmDecode1::FrmDecode1(Session &session)
    : Window("frmDecode1", QStringLiteral("Extracting the watermark"), QSize(595, 515), Border::FixedDialog),
      session(session) {
    QLabel *lbl1 = makeLabel(this, "lbl1", QStringLiteral("You choosed this image to decode the watermark from ... "),
              QRect(16, 12, 563, 28), Qt::AlignLeft | Qt::AlignTop, makeFont("", 12));
    imgmod = new ImageBox(this, "imgmod", QRect(109, 48, 377, 293), lbl1);
    makeLabel(this, "lbl2",
              QStringLiteral("The watermark is about to be extracted ... click next to start the extraction "
                             "of the watermark"),
              QRect(16, 356, 563, 48), Qt::AlignLeft | Qt::AlignTop, makeFont("", 9.75));
    cmdback = makeButton(this, "cmdback", QStringLiteral("<<   Back"), QRect(16, 466, 130, 32));
    cmdnext = makeButton(this, "cmdnext", QStringLiteral("Next   >>"), QRect(449, 466, 130, 32));
    connect(cmdback, &QPushButton::clicked, this, &FrmDecode1::cmdback_Click);
    connect(cmdnext, &QPushButton::clicked, this, &FrmDecode1::cmdnext_Click);
}

void FrmDecode1::formLoad() {
    imgmod->showPicture(session.buffers.piccover().picture(), QFileInfo(session.cover.path).fileName());
    Registry::instance().get<FrmLoading>().hide();
}

void FrmDecode1::cmdback_Click() { extraction_flow::back(*this); }

void FrmDecode1::cmdnext_Click() {
    FrmLoading &loading = Registry::instance().get<FrmLoading>();
    loading.show();
    Progress progress(loading.progress());
    progress.start(kExtractProgressMax);
    Surface &picture = session.buffers.decwater();
    session.extraction().run(session.buffers.piccover(), picture, progress);
    const bool written = saveOrReport(picture, fixed_files::path(fixed_files::kExtracted));
    loading.hide();
    if (written)
        extraction_flow::next(*this);
}

} // namespace ombrel::windows
