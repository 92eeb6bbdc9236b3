// SPDX-License-Identifier: Apache-2.0
#include "windows/frmmain.h"

#include "platform/platform.h"
#include "stego/intake.h"
#include "text/texts.h"
#include "windows/controls.h"
#include "windows/flow.h"
#include "windows/frmabout.h"
#include "windows/frmcheck.h"
#include "windows/frmloading.h"
#include "windows/picture_files.h"
#include "windows/progress_maxima.h"
#include "windows/registry.h"
#include "windows/session.h"

namespace ombrel::windows {

using platform::Buttons;
using platform::fromStd;

FrmMain::FrmMain(Session &session)
    : Window("frmmain", QStringLiteral("Digital Image watermarking in wavelet domain"), QSize(666, 647),
             Border::FixedSingle), session(session) {
    const QFont times12 = makeFont("Times New Roman", 12);
    makeLabel(this, "lblintro1",
              QStringLiteral("Welcome to the Ombrel Colored Digital Watermarking in Wavelet domain"),
              QRect(16, 8, 634, 32), Qt::AlignCenter, makeFont("Times New Roman", 14.25));
    makeLabel(this, "lblintro2",
              QStringLiteral("Please choose the image that you want to encode the watermark into, or the "
                             "one you want to decode the watermark from .. The cover image or the "
                             "modulated image should be a colored 1024x768 image , and the watermark "
                             "image should be 512x512 grey scaled image."),
              QRect(16, 44, 634, 84), Qt::AlignLeft | Qt::AlignTop, times12);
    Drive1 = new DriveList(this, "Drive1", QRect(16, 140, 289, 26));
    Dir1 = new DirList(this, "Dir1", QRect(16, 172, 289, 170));
    QLabel *lblbmp1 =
        makeLabel(this, "lblbmp1", QStringLiteral("Only (*.bmp)  images can be used"), QRect(16, 530, 289, 20));
    File1 = new FileList(this, "File1", QRect(16, 348, 289, 178), lblbmp1);
    QLabel *Label1 = makeLabel(this, "Label1", QStringLiteral("Cover/Stego image"), QRect(329, 140, 313, 24),
              Qt::AlignCenter, times12);
    img1 = new ImageBox(this, "img1", QRect(329, 168, 313, 233), Label1);
    lblpro = makeLabel(this, "lblpro", QString(), QRect(329, 406, 313, 44), Qt::AlignCenter);
    cmdload = makeButton(this, "cmdload", QStringLiteral("Load image"), QRect(329, 458, 313, 30));
    cmdencode = makeButton(this, "cmdencode", QStringLiteral("Embed the watermark into the image"),
                           QRect(329, 494, 313, 30));
    cmddecode = makeButton(this, "cmddecode", QStringLiteral("Extract the watermark from the image"),
                           QRect(329, 530, 313, 30));
    cmdabout = makeButton(this, "cmdabout", QStringLiteral("About this Application"), QRect(16, 600, 200, 30));
    cmdexit = makeButton(this, "cmdexit", QStringLiteral("Exit"), QRect(529, 600, 113, 30));
    // Made last, so it comes last in the tab order; it sits in the room
    // between About and Exit.
    cmdcheck = makeButton(this, "cmdcheck", QStringLiteral("Check the image for changes"), QRect(226, 600, 293, 30));

    connect(Drive1, &DriveList::changed, this, &FrmMain::Drive1_Change);
    connect(Dir1, &DirList::changed, this, &FrmMain::Dir1_Change);
    connect(File1, &FileList::fileClicked, this, &FrmMain::File1_Click);
    connect(cmdload, &QPushButton::clicked, this, &FrmMain::cmdload_Click);
    connect(cmdencode, &QPushButton::clicked, this, &FrmMain::cmdencode_Click);
    connect(cmddecode, &QPushButton::clicked, this, &FrmMain::cmddecode_Click);
    connect(cmdabout, &QPushButton::clicked, this, &FrmMain::cmdabout_Click);
    connect(cmdexit, &QPushButton::clicked, this, &FrmMain::cmdexit_Click);
    connect(cmdcheck, &QPushButton::clicked, this, &FrmMain::cmdcheck_Click);
}

void FrmMain::formLoad() {
    Drive1->setDrive(platform::homeDrive());
    Dir1->setPath(platform::homeDrive());
    File1->setPath(Dir1->path());
    session.cover = {};
    notePlace();
}

void FrmMain::notePlace() { session.browsing = {Drive1->drive(), Dir1->path()}; }

void FrmMain::Drive1_Change() {
    Dir1->setPath(Drive1->drive());
    notePlace();
}

void FrmMain::Dir1_Change() {
    File1->setPath(Dir1->path());
    notePlace();
}

void FrmMain::File1_Click(const QString &fileName) {
    Session::Cover &chosen = session.cover;
    const QString path = File1->pathOf(fileName);
    const auto picture = loadOrReport(path);
    if (!picture) {
        // An unreadable file is not remembered, so no wizard starts with it.
        chosen.path.clear();
        chosen.width = chosen.height = 0;
        img1->clear();
        lblpro->clear();
        return;
    }
    chosen.path = path;
    img1->showPicture(*picture, fileName);
    Surface &cover = session.buffers.piccover();
    cover.load(*picture);
    chosen.width = cover.picture().width;
    chosen.height = cover.picture().height;
    // Name on the first line, size on the second; Qt labels break at '\n'.
    lblpro->setText(QStringLiteral("Image : ") + fileName + QLatin1Char('\n') + numberText(chosen.width) +
                    QStringLiteral("x") + numberText(chosen.height));
}

void FrmMain::cmdload_Click() {
    Session::Cover &chosen = session.cover;
    chosen.accepted = true;
    Surface &cover = session.buffers.piccover();
    if (chosen.path.isEmpty()) {
        cover.load(Image{});
    } else if (auto picture = loadOrReport(chosen.path)) {
        cover.load(*picture);
    } else {
        chosen.accepted = false;
        return;
    }
    FrmLoading &loading = Registry::instance().get<FrmLoading>();
    loading.show();
    loading.setValue(0);
    loading.setMax(kCoverLoadProgressMax);
    if (checkCover(chosen.width, chosen.height) != Verdict::Suitable) {
        loading.hide();
        chosen.accepted = false;
        platform::services().messages->show(fromStd(text::kCoverWrongSize), Buttons::Ok,
                                             QStringLiteral("Dimensions error"));
        return;
    }
    loading.hide();
    platform::services().messages->show(fromStd(text::kCoverSuitable), Buttons::Ok,
                                         QStringLiteral("Image is suitable"));
}

void FrmMain::cmdencode_Click() {
    cmdload_Click();
    if (session.cover.accepted) {
        embedding_flow::start(*this);
        return;
    }
    platform::services().messages->show(
        QStringLiteral("Please load a suitable image to be the cover, and 1024x768 dimensions"), Buttons::Ok,
        QStringLiteral("Image Error"));
}

void FrmMain::cmddecode_Click() {
    cmdload_Click();
    if (session.cover.accepted) {
        extraction_flow::start(*this);
        return;
    }
    platform::services().messages->show(
        QStringLiteral("Please load a suitable image to be the cover, should be 1024x768 in dimensions"),
        Buttons::Ok, QStringLiteral("Image Error"));
}

void FrmMain::cmdabout_Click() {
    FrmAbout &about = Registry::instance().get<FrmAbout>();
    about.show();
    about.raise();
}

// Any picture can be checked, of any format and whether or not "Load image"
// took it: the check window reads and judges it itself.
void FrmMain::cmdcheck_Click() {
    hide();
    FrmCheck &check = Registry::instance().reload<FrmCheck>();
    check.show();
    // The keyboard goes with the user to the new window, window manager or not.
    check.activateWindow();
}

void FrmMain::cmdexit_Click() { platform::services().exit->end(); }

void FrmMain::titleBarClose() { platform::services().exit->end(); }

} // namespace ombrel::windows
