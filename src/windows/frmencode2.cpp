// SPDX-License-Identifier: Apache-2.0
#include "windows/frmencode2.h"

#include "marking/keying.h"
#include "platform/platform.h"
#include "stego/embedding.h"
#include "stego/intake.h"
#include "text/texts.h"
#include "windows/controls.h"
#include "windows/flow.h"
#include "windows/frmencode3.h"
#include "windows/frmkey.h"
#include "windows/frmloading.h"
#include "windows/picture_files.h"
#include "windows/progress_maxima.h"
#include "windows/registry.h"
#include "windows/session.h"

#include <QFileInfo>
#include <QPointer>

namespace ombrel::windows {

using platform::Buttons;

FrmEncode2::FrmEncode2(Session &session)
    : Window("frmencode2", QStringLiteral("Wavelet transform and embedding"), QSize(570, 569),
             Border::FixedSingle), session(session) {
    const QFont bold = makeFont("", 8.25, true);
    QLabel *lblcover = makeLabel(this, "lblcover", QStringLiteral("Cover image properties"), QRect(16, 16, 267, 20),
              Qt::AlignCenter, bold);
    imgcover = new ImageBox(this, "imgcover", QRect(16, 40, 267, 200), lblcover);
    lblcoverx = makeLabel(this, "lblcoverx", QStringLiteral("Width :"), QRect(16, 250, 267, 20));
    lblcovery = makeLabel(this, "lblcovery", QStringLiteral("Height :"), QRect(16, 274, 267, 20));
    QLabel *lblwater = makeLabel(this, "lblwater", QStringLiteral("Watermark image properties"), QRect(316, 16, 238, 20),
              Qt::AlignCenter, bold);
    imgwater = new ImageBox(this, "imgwater", QRect(355, 40, 160, 160), lblwater);
    lblwaterx = makeLabel(this, "lblwaterx", QStringLiteral("Width: "), QRect(316, 250, 238, 20));
    lblwatery = makeLabel(this, "lblwatery", QStringLiteral("Height :"), QRect(316, 274, 238, 20));
    cmdback = makeButton(this, "cmdback", QStringLiteral("<<  Back"), QRect(16, 520, 120, 32));
    cmdnext = makeButton(this, "cmdnext", QStringLiteral("Start the Embedding"), QRect(374, 520, 180, 32));
    cmdnext->setToolTip(QStringLiteral(
        "create matrices, and saves the watermark image as text \" c:\\wateroutput.txt \" "));
    // Added last, so the screen's own controls keep their tab order.
    cmdkey = makeButton(this, "cmdkey", QStringLiteral("Seal with a key..."), QRect(210, 520, 150, 32));
    connect(cmdnext, &QPushButton::clicked, this, &FrmEncode2::cmdnext_Click);
    connect(cmdback, &QPushButton::clicked, this, &FrmEncode2::cmdback_Click);
    connect(cmdkey, &QPushButton::clicked, this, [this] {
        cmdkey_Click(KeyUse::Sealing, [screen = QPointer<FrmEncode2>(this)](const marking::Keying &key) {
            if (screen)
                screen->embedWith(key);
        });
    });
}

void FrmEncode2::formLoad() {
    PixelBuffers &b = session.buffers;
    imgcover->showPicture(b.piccover().picture(), QFileInfo(session.cover.path).fileName());
    imgwater->showPicture(b.picwater().picture(), QFileInfo(session.watermark.path).fileName());
    coverWidth = b.piccover().picture().width;
    coverHeight = b.piccover().picture().height;
    waterWidth = b.picwater().picture().width;
    waterHeight = b.picwater().picture().height;
    lblcoverx->setText(QStringLiteral("Width: ") + numberText(coverWidth));
    lblcovery->setText(QStringLiteral("Height: ") + numberText(coverHeight));
    lblwaterx->setText(QStringLiteral("Width: ") + numberText(waterWidth));
    lblwatery->setText(QStringLiteral("Height: ") + numberText(waterHeight));
}

void FrmEncode2::cmdnext_Click() { embedWith(marking::Keying{}); }

void FrmEncode2::embedWith(const marking::Keying &key) {
    FrmLoading &loading = Registry::instance().get<FrmLoading>();
    Progress progress(loading.progress());
    progress.start(kEmbedProgressMax);
    loading.show();

    EmbedRead read = readInputs(progress);
    const int threshold = askThreshold();
    // A fixed file that cannot be written stops the run here, reported.
    const std::optional<EmbedQuantised> mark =
        transformAndWriteFixedFiles(std::move(read), threshold, progress);
    if (!mark) {
        loading.hide();
        return;
    }
    embed(*mark, key, progress);
    loading.hide();
    if (!writeWatermarked() || !saveUnderChosenName())
        return;
    embedding_flow::next(*this);
}

EmbedRead FrmEncode2::readInputs(Progress &progress) {
    const bool coverFits = coverWidth == kCoverWidth && coverHeight == kCoverHeight;
    const bool waterFits = waterWidth == kWatermarkSize && waterWidth == waterHeight;
    return session.embedding().read(coverFits ? &session.buffers.piccover() : nullptr,
                                    waterFits ? &session.buffers.picwater() : nullptr, progress);
}

int FrmEncode2::askThreshold() {
    platform::Services &s = platform::services();
    std::optional<int> threshold;
    while (!(threshold = parseThreshold(
                 s.input->ask(QStringLiteral("Please enter the threshold value"), QStringLiteral("Threshould"),
                              QStringLiteral("0"))
                     .toStdString())))
        s.messages->show(platform::fromStd(text::kThresholdInvalid), Buttons::Ok,
                         QStringLiteral("Error in threshold value"));
    return *threshold;
}

std::optional<EmbedQuantised> FrmEncode2::transformAndWriteFixedFiles(EmbedRead read, int threshold,
                                                                      Progress &progress) {
    Surface &wavelet = session.buffers.picwavelet();
    EmbedThresholded thresholded = std::move(read).transform(threshold, progress, &wavelet);
    if (!saveOrReport(wavelet, fixed_files::path(fixed_files::kFirstPicture)))
        return std::nullopt;
    EmbedQuantised mark = std::move(thresholded).quantise(&wavelet);
    if (!saveOrReport(wavelet, fixed_files::path(fixed_files::kSecondPicture)))
        return std::nullopt;
    return mark;
}

void FrmEncode2::embed(const EmbedQuantised &mark, const marking::Keying &key, Progress &progress) {
    mark.embedInto(session.buffers.piccover(), progress);
    // A keyed mark is the keyless one with every carried bit XORed with the
    // keystream; the id is the one given, so the name saved under is not needed.
    if (const std::optional<Keystream> keystream = key.keystreamFor(std::string()))
        keystream->apply(session.buffers.piccover().image());
}

bool FrmEncode2::writeWatermarked() {
    return saveOrReport(session.buffers.piccover(), fixed_files::path(fixed_files::kWatermarked));
}

bool FrmEncode2::saveUnderChosenName() {
    return runSaveFlow(watermarkedSaveTexts(), session.buffers.piccover()) != SaveOutcome::Cancelled;
}

void FrmEncode2::cmdback_Click() { embedding_flow::back(*this); }

} // namespace ombrel::windows
