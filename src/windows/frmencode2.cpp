#include "windows/frmencode2.h"

#include "platform/platform.h"
#include "stego/embedding.h"
#include "stego/intake.h"
#include "text/texts.h"
#include "windows/controls.h"
#include "windows/frmencode1.h"
#include "windows/frmencode3.h"
#include "windows/frmloading.h"
#include "windows/registry.h"
#include "windows/save_flow.h"

namespace ombrel::windows {

using platform::Buttons;

namespace {

// The pipeline's matrices outlive the screen, as its threshold does.
struct EncodeState {
    EmbeddingPipeline pipeline;
};

} // namespace

FrmEncode2::FrmEncode2()
    : Window("frmencode2", QStringLiteral("Wavelet transform and embedding"), QSize(570, 569),
             Border::FixedSingle) {
    const QFont bold = makeFont("", 8.25, true);
    makeLabel(this, "lblcover", QStringLiteral("Cover image properties"), QRect(16, 16, 267, 20),
              Qt::AlignCenter, bold);
    imgcover = new ImageBox(this, "imgcover", QRect(16, 40, 267, 200));
    lblcoverx = makeLabel(this, "lblcoverx", QStringLiteral("Width :"), QRect(16, 250, 267, 20));
    lblcovery = makeLabel(this, "lblcovery", QStringLiteral("Height :"), QRect(16, 274, 267, 20));
    makeLabel(this, "lblwater", QStringLiteral("Watermark image properties"), QRect(316, 16, 238, 20),
              Qt::AlignCenter, bold);
    imgwater = new ImageBox(this, "imgwater", QRect(355, 40, 160, 160));
    lblwaterx = makeLabel(this, "lblwaterx", QStringLiteral("Width: "), QRect(316, 250, 238, 20));
    lblwatery = makeLabel(this, "lblwatery", QStringLiteral("Height :"), QRect(316, 274, 238, 20));
    cmdback = makeButton(this, "cmdback", QStringLiteral("<<  Back"), QRect(16, 520, 120, 32));
    cmdnext = makeButton(this, "cmdnext", QStringLiteral("Start the Embedding"), QRect(374, 520, 180, 32));
    cmdnext->setToolTip(QStringLiteral(
        "create matrices, and saves the watermark image as text \" c:\\wateroutput.txt \" "));
    connect(cmdnext, &QPushButton::clicked, this, &FrmEncode2::cmdnext_Click);
    connect(cmdback, &QPushButton::clicked, this, &FrmEncode2::cmdback_Click);
}

void FrmEncode2::formLoad() {
    PixelBuffers &b = Registry::instance().buffers();
    imgcover->showPicture(b.piccover().picture());
    imgwater->showPicture(b.picwater().picture());
    coverWidth = b.piccover().picture().width;
    coverHeight = b.piccover().picture().height;
    waterWidth = b.picwater().picture().width;
    waterHeight = b.picwater().picture().height;
    lblcoverx->setText(QStringLiteral("Width: ") + numberText(coverWidth));
    lblcovery->setText(QStringLiteral("Height: ") + numberText(coverHeight));
    lblwaterx->setText(QStringLiteral("Width: ") + numberText(waterWidth));
    lblwatery->setText(QStringLiteral("Height: ") + numberText(waterHeight));
}

void FrmEncode2::cmdnext_Click() {
    Registry &r = Registry::instance();
    PixelBuffers &b = r.buffers();
    platform::Services &s = platform::services();
    EmbeddingPipeline &pipeline = r.state<EncodeState>().pipeline;
    FrmLoading &loading = r.get<FrmLoading>();
    Progress progress(loading.progress());
    progress.start(kEmbedProgressMax);
    loading.show();

    if (coverWidth == kCoverWidth && coverHeight == kCoverHeight)
        pipeline.readCover(b.piccover(), progress);
    if (waterWidth == 512 && waterWidth == waterHeight)
        pipeline.readWatermark(b.picwater(), progress);

    std::optional<int> threshold;
    while (!(threshold = parseThreshold(
                 s.input->ask(QStringLiteral("Please enter the threshold value"), QStringLiteral("Threshould"),
                              QStringLiteral("0"))
                     .toStdString())))
        s.messages->show(fromStd(text::kThresholdInvalid), Buttons::Ok, QStringLiteral("Error in threshold value"));

    pipeline.transform(*threshold, progress);
    Surface &wavelet = b.picwavelet();
    pipeline.drawCoefficients(wavelet, &progress);
    // A fixed file that cannot be written stops the run here, reported.
    auto fixedSave = [&](const Surface &surface, const char *name) {
        if (saveOrReport(surface, platform::fixedFile(QString::fromLatin1(name))))
            return true;
        loading.hide();
        return false;
    };
    if (!fixedSave(wavelet, "wavlettransformresult.bmp"))
        return;
    pipeline.quantise();
    pipeline.drawCoefficients(wavelet, nullptr);
    if (!fixedSave(wavelet, "wavlettransformresultw2.bmp"))
        return;
    pipeline.embedInto(b.piccover(), progress);
    loading.hide();
    if (!fixedSave(b.piccover(), "output.bmp"))
        return;

    if (runSaveFlow(watermarkedSaveTexts(), b.piccover()) == SaveOutcome::Cancelled)
        return;
    hide();
    if (FrmEncode3 *done = r.reloadIfLoaded<FrmEncode3>())
        done->show();
    else
        show();
}

void FrmEncode2::cmdback_Click() {
    Registry::instance().reload<FrmEncode1>().show();
    hide();
}

} // namespace ombrel::windows
