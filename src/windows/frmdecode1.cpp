// SPDX-License-Identifier: Apache-2.0
#include "windows/frmdecode1.h"

#include "marking/keying.h"
#include "platform/platform.h"
#include "stego/extraction.h"
#include "windows/controls.h"
#include "windows/flow.h"
#include "windows/frmkey.h"
#include "windows/frmloading.h"
#include "windows/picture_files.h"
#include "windows/progress_maxima.h"
#include "windows/registry.h"
#include "windows/session.h"

#include <QFileInfo>
#include <QPointer>

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
    // Added last, so the screen's own controls keep their tab order.
    cmdkey = makeButton(this, "cmdkey", QStringLiteral("Extract with a key..."), QRect(222, 466, 150, 32));
    connect(cmdback, &QPushButton::clicked, this, &FrmDecode1::cmdback_Click);
    connect(cmdnext, &QPushButton::clicked, this, &FrmDecode1::cmdnext_Click);
    connect(cmdkey, &QPushButton::clicked, this, [this] {
        cmdkey_Click(KeyUse::Extracting, [screen = QPointer<FrmDecode1>(this)](const marking::Keying &key) {
            if (screen)
                screen->extractWith(key);
        });
    });
}

void FrmDecode1::formLoad() {
    imgmod->showPicture(session.buffers.piccover().picture(), QFileInfo(session.cover.path).fileName());
    Registry::instance().get<FrmLoading>().hide();
}

void FrmDecode1::cmdback_Click() { extraction_flow::back(*this); }

void FrmDecode1::cmdnext_Click() { extractWith(marking::Keying{}); }

void FrmDecode1::extractWith(const marking::Keying &key) {
    FrmLoading &loading = Registry::instance().get<FrmLoading>();
    loading.show();
    Progress progress(loading.progress());
    progress.start(kExtractProgressMax);
    Surface &picture = session.buffers.decwater();
    const std::optional<Keystream> keystream = key.keystreamFor(session.cover.path.toStdString());
    session.extraction().run(session.buffers.piccover(), picture, progress, marking::keyed(keystream));
    const bool written = saveOrReport(picture, fixed_files::path(fixed_files::kExtracted));
    loading.hide();
    if (written)
        extraction_flow::next(*this);
}

} // namespace ombrel::windows
