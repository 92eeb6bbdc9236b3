#include "windows/frmdecode1.h"

#include "platform/platform.h"
#include "stego/extraction.h"
#include "windows/controls.h"
#include "windows/frmdecode2.h"
#include "windows/frmloading.h"
#include "windows/frmmain.h"
#include "windows/registry.h"

namespace ombrel::windows {

namespace {

// The extraction's matrices outlive the screen.
struct DecodeState {
    ExtractionPipeline pipeline;
};

} // namespace

FrmDecode1::FrmDecode1()
    : Window("frmDecode1", QStringLiteral("Extracting the watermark"), QSize(595, 515), Border::FixedDialog) {
    makeLabel(this, "lbl1", QStringLiteral("You choosed this image to decode the watermark from ... "),
              QRect(16, 12, 563, 28), Qt::AlignLeft | Qt::AlignTop, makeFont("", 12));
    imgmod = new ImageBox(this, "imgmod", QRect(109, 48, 377, 293));
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
    Registry &r = Registry::instance();
    imgmod->showPicture(r.buffers().piccover().picture());
    r.get<FrmLoading>().hide();
}

void FrmDecode1::cmdback_Click() {
    Registry &r = Registry::instance();
    FrmMain &main = r.reload<FrmMain>();
    hide();
    main.show();
}

void FrmDecode1::cmdnext_Click() {
    Registry &r = Registry::instance();
    FrmLoading &loading = r.get<FrmLoading>();
    loading.show();
    Progress progress(loading.progress());
    Surface &picture = r.buffers().decwater();
    r.state<DecodeState>().pipeline.run(r.buffers().piccover(), picture, progress);
    if (!saveOrReport(picture, platform::fixedFile(QStringLiteral("watermark.bmp")))) {
        loading.hide();
        return;
    }
    loading.hide();
    if (FrmDecode2 *result = r.reloadIfLoaded<FrmDecode2>()) {
        result->show();
        hide();
    }
}

} // namespace ombrel::windows
