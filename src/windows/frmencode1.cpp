// SPDX-License-Identifier: Apache-2.0
#include "windows/frmencode1.h"

#include "platform/platform.h"
#include "stego/intake.h"
#include "text/texts.h"
#include "windows/controls.h"
#include "windows/flow.h"
#include "windows/frmloading.h"
#include "windows/picture_files.h"
#include "windows/progress_maxima.h"
#include "windows/registry.h"
#include "windows/session.h"

#include <QFileInfo>

namespace ombrel::windows {

using platform::Buttons;
using platform::fromStd;

FrmEncode1::FrmEncode1(Session &session)
    : Window("frmEncode1", QStringLiteral("Choosing the water mark"), QSize(579, 579), Border::FixedSingle),
      session(session) {
    makeLabel(this, "lblencode",
              QStringLiteral("Please choose the image that you want to encode as a watermark into the "
                             "cover image, the water mark image should be 512x512 grey scale "),
              QRect(16, 8, 547, 60), Qt::AlignLeft | Qt::AlignTop, makeFont("Tahoma", 12));
    QLabel *lblcover = makeLabel(this, "lblcover", QStringLiteral("The cover image"), QRect(16, 76, 267, 20), Qt::AlignCenter,
              makeFont("", 8.25, true));
    imgcover = new ImageBox(this, "imgcover", QRect(16, 98, 267, 200), lblcover);
    makeLabel(this, "lbl1", QStringLiteral("1024x768"), QRect(16, 302, 267, 20), Qt::AlignCenter);
    QLabel *lblwater = makeLabel(this, "lblwater", QStringLiteral("The water mark image"), QRect(356, 76, 160, 20),
              Qt::AlignCenter, makeFont("", 8.25, true));
    imgwater = new ImageBox(this, "imgwater", QRect(356, 98, 160, 160), lblwater);
    lbl2 = makeLabel(this, "lbl2", QString(), QRect(316, 262, 240, 20), Qt::AlignCenter);
    Drive2 = new DriveList(this, "Drive2", QRect(16, 330, 267, 26));
    Dir2 = new DirList(this, "Dir2", QRect(16, 360, 267, 170));
    QLabel *lblbmp2 =
        makeLabel(this, "lblbmp2", QStringLiteral("only (*.bmp) images can be used"), QRect(300, 290, 263, 20));
    File2 = new FileList(this, "File2", QRect(300, 330, 263, 200), lblbmp2);
    cmdback = makeButton(this, "cmdback", QStringLiteral("<<  Back"), QRect(16, 540, 120, 30));
    cmdload = makeButton(this, "cmdload", QStringLiteral("Load image"), QRect(229, 540, 120, 30));
    cmdnext = makeButton(this, "cmdnext", QStringLiteral("Next  >>"), QRect(443, 540, 120, 30));

    connect(Drive2, &DriveList::changed, this, [this] { Dir2->setPath(Drive2->drive()); });
    connect(Dir2, &DirList::changed, this, [this] { File2->setPath(Dir2->path()); });
    connect(File2, &FileList::fileClicked, this, &FrmEncode1::File2_Click);
    connect(cmdload, &QPushButton::clicked, this, &FrmEncode1::cmdload_Click);
    connect(cmdnext, &QPushButton::clicked, this, &FrmEncode1::cmdnext_Click);
    connect(cmdback, &QPushButton::clicked, this, &FrmEncode1::cmdback_Click);
}

void FrmEncode1::formLoad() {
    Drive2->setDrive(session.browsing.drive);
    Dir2->setPath(session.browsing.folder);
    File2->setPath(Dir2->path());
    if (!session.cover.path.isEmpty())
        if (auto picture = loadOrReport(session.cover.path))
            imgcover->showPicture(*picture, QFileInfo(session.cover.path).fileName());
}

void FrmEncode1::File2_Click(const QString &fileName) {
    Session::Watermark &s = session.watermark;
    const QString path = File2->pathOf(fileName);
    const auto picture = loadOrReport(path);
    if (!picture) {
        s.path.clear();
        s.width = s.height = 0;
        imgwater->clear();
        lbl2->clear();
        return;
    }
    s.path = path;
    imgwater->showPicture(*picture, fileName);
    Surface &water = session.buffers.picwater();
    water.load(*picture);
    s.width = water.picture().width;
    s.height = water.picture().height;
    lbl2->setText(numberText(s.width) + QStringLiteral("x") + numberText(s.height));
}

void FrmEncode1::cmdload_Click() {
    Session::Watermark &s = session.watermark;
    Surface &water = session.buffers.picwater();
    if (s.path.isEmpty()) {
        water.load(Image{});
    } else if (auto picture = loadOrReport(s.path)) {
        water.load(*picture);
    } else {
        s.grey = s.sizeOk = false;
        return;
    }
    s.grey = true;
    s.sizeOk = true;
    FrmLoading &loading = Registry::instance().get<FrmLoading>();
    loading.show();
    loading.setValue(0);
    loading.setMax(kWatermarkScanProgressMax);
    const WatermarkCheck check = checkWatermark(s.width, s.height, water);
    switch (check.verdict) {
    case Verdict::WrongSize:
        loading.hide();
        s.sizeOk = false;
        platform::services().messages->show(fromStd(text::kWatermarkWrongSize), Buttons::Ok,
                                             QStringLiteral("Dimensions error"));
        return;
    case Verdict::NotGrey:
        loading.setValue(check.rowsScanned);
        loading.setValue(100);
        loading.hide();
        platform::services().messages->show(fromStd(text::kWatermarkNotGrey), Buttons::Ok,
                                             QStringLiteral("Color Depth error"));
        s.grey = false;
        return;
    case Verdict::Suitable:
        loading.setValue(check.rowsScanned);
        loading.hide();
        platform::services().messages->show(fromStd(text::kWatermarkSuitable), Buttons::Ok,
                                             QStringLiteral("Image is suitable"));
        return;
    }
}

void FrmEncode1::cmdnext_Click() {
    cmdload_Click();
    const Session::Watermark &s = session.watermark;
    if (s.grey && s.sizeOk)
        embedding_flow::next(*this);
}

void FrmEncode1::cmdback_Click() { embedding_flow::back(*this); }

} // namespace ombrel::windows
