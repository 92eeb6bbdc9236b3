// SPDX-License-Identifier: Apache-2.0
#include "windows/frmcheck.h"

#include "imaging/picture_formats.h"
#include "marking/pictures.h"
#include "platform/platform.h"
#include "platform/save_folder.h"
#include "stego/verify.h"
#include "windows/controls.h"
#include "windows/flow.h"
#include "windows/registry.h"
#include "windows/session.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QSpinBox>
#include <QThreadPool>

#include <algorithm>
#include <exception>
#include <memory>

namespace ombrel::windows {

using platform::Answer;
using platform::Buttons;
using platform::fromStd;

namespace {

// Every picture format the program reads, then anything: the content decides.
const QString kPictureFilter = QStringLiteral(
    "Pictures (*.bmp *.png *.tif *.tiff *.ppm *.pgm)|*.bmp *.png *.tif *.tiff *.ppm *.pgm|All files|*|");
const QString kKeyFilter = QStringLiteral("Key files|*|");
// The map has colour, so no PGM; other lossless names are written as the tool writes them.
const QString kMapFilter = QStringLiteral("PNG picture|*.png|BMP picture|*.bmp|");
const QString kSaveTitle = QStringLiteral("Save the map");
const QString kMapHeading = QStringLiteral("Altered blocks in red, the altered area framed");
// Over the picture itself, when there is no map worth drawing.
const QString kPlainHeading = QStringLiteral("The picture as it is: no block matches, so nothing is marked");

// The frame round the altered area, in the map's own pixels: wide enough to
// stay two pixels wide when the map is shown at half its size.
constexpr int kFrameWidth = 4;
constexpr ColourWord kFrameColour = rgb(255, 214, 0);

QLineEdit *makeField(QWidget *parent, const char *name, QRect geometry, QLabel *heading) {
    auto *field = new QLineEdit(parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setGeometry(geometry);
    nameAfter(field, heading);
    return field;
}

QLabel *heading(QWidget *parent, const char *name, const QString &text, QRect geometry) {
    return makeLabel(parent, name, text, geometry, Qt::AlignLeft | Qt::AlignVCenter, makeFont("", 8.25, true));
}

void tell(const QString &message) { platform::services().messages->show(message, Buttons::Ok, {}); }

} // namespace

CheckOutcome runCheck(const CheckRequest &request) {
    CheckOutcome outcome;
    try {
        const marking::Keying keying = marking::keyingFor(request.key);
        const std::optional<Keystream> key = keying.keystreamFor(request.picture);
        outcome.image = marking::coverSurface(request.picture);
        const Surface watermark = marking::watermarkSurface(request.watermark);
        outcome.check = marking::checkPicture(outcome.image, watermark, request.threshold, marking::keyed(key));
    } catch (const std::exception &e) {
        outcome.refusal = e.what();
    }
    return outcome;
}

QString verdictSentence(const marking::PictureCheck &check) {
    const MarkReport &r = check.report;
    if (marking::noMatch(r, check.keyed)) {
        QString words = fromStd(marking::verdict(r, check.keyed));
        words[0] = words[0].toUpper();
        return words;
    }
    if (r.intact())
        return QStringLiteral("Intact: every one of the %1 carried bits is as it was %2")
            .arg(r.bitsCompared)
            .arg(check.keyed ? QStringLiteral("sealed") : QStringLiteral("marked"));
    return QStringLiteral("Altered: %1 of %2 blocks changed, in %3")
        .arg(r.blocksAltered)
        .arg(r.blocksChecked)
        .arg(fromStd(marking::boxText(r)));
}

QString ncLine(const marking::PictureCheck &check) {
    return QStringLiteral("NC of the extracted watermark: ") + QString::number(check.nc, 'f', 6);
}

Image shownMap(const Surface &image, const marking::PictureCheck &check) {
    if (marking::noMatch(check.report, check.keyed))
        return image.image();
    Image map = tamperMap(image.image(), check.report);
    if (const auto &box = check.report.alteredBox) {
        // Drawn just outside the box, so the altered blocks stay in view; at
        // the picture's edge, just inside it.
        const int left = std::max(box->left - kFrameWidth, 0);
        const int right = std::min(box->right + kFrameWidth, map.width - 1);
        const int top = std::max(box->top - kFrameWidth, 0);
        const int bottom = std::min(box->bottom + kFrameWidth, map.height - 1);
        for (int y = top; y <= bottom; ++y)
            for (int x = left; x <= right; ++x)
                if (x < left + kFrameWidth || x > right - kFrameWidth || y < top + kFrameWidth ||
                    y > bottom - kFrameWidth)
                    map.at(x, y) = kFrameColour;
    }
    return map;
}

FrmCheck::FrmCheck(Session &session)
    : Window("frmcheck", QStringLiteral("Check the image for changes"), QSize(880, 610), Border::FixedSingle),
      session(session) {
    makeLabel(this, "lblintro",
              QStringLiteral("Find out whether a marked picture is still as it was marked, and where it was "
                             "changed. Give the watermark and the threshold it was marked with and, for a "
                             "picture sealed with a key, the key and the image's id."),
              QRect(16, 10, 848, 36), Qt::AlignLeft | Qt::AlignTop, makeFont("Tahoma", 9.75));

    QLabel *lblpicture = heading(this, "lblpicture", QStringLiteral("The picture to check"), QRect(16, 56, 272, 18));
    txtpicture = makeField(this, "txtpicture", QRect(16, 76, 184, 24), lblpicture);
    cmdpicture = makeButton(this, "cmdpicture", QStringLiteral("Choose..."), QRect(208, 75, 80, 26));
    cmdpicture->setAccessibleName(QStringLiteral("Choose the picture"));
    makeLabel(this, "lblformats", QStringLiteral("1024x768, BMP, PNG, TIFF or PPM"), QRect(16, 102, 272, 18));

    QLabel *lblwatermark =
        heading(this, "lblwatermark", QStringLiteral("The watermark it should carry"), QRect(16, 128, 272, 18));
    txtwatermark = makeField(this, "txtwatermark", QRect(16, 148, 184, 24), lblwatermark);
    cmdwatermark = makeButton(this, "cmdwatermark", QStringLiteral("Choose..."), QRect(208, 147, 80, 26));
    cmdwatermark->setAccessibleName(QStringLiteral("Choose the watermark"));

    QLabel *lblthreshold = heading(this, "lblthreshold", QStringLiteral("The threshold it was marked with"),
                                   QRect(16, 184, 272, 18));
    spnthreshold = new QSpinBox(this);
    spnthreshold->setObjectName(QStringLiteral("spnthreshold"));
    spnthreshold->setGeometry(QRect(16, 204, 80, 24));
    spnthreshold->setRange(-255, 255);
    nameAfter(spnthreshold, lblthreshold);

    heading(this, "lblkey", QStringLiteral("Sealed with a key? Leave these empty if not."), QRect(16, 242, 272, 18));
    QLabel *lblkeyfile = makeLabel(this, "lblkeyfile", QStringLiteral("Key file"), QRect(16, 264, 184, 18),
                                   Qt::AlignLeft | Qt::AlignVCenter);
    txtkeyfile = makeField(this, "txtkeyfile", QRect(16, 284, 184, 24), lblkeyfile);
    cmdkeyfile = makeButton(this, "cmdkeyfile", QStringLiteral("Choose..."), QRect(208, 283, 80, 26));
    cmdkeyfile->setAccessibleName(QStringLiteral("Choose the key file"));
    QLabel *lblpassphrase = makeLabel(this, "lblpassphrase", QStringLiteral("or its passphrase"),
                                      QRect(16, 314, 272, 18), Qt::AlignLeft | Qt::AlignVCenter);
    txtpassphrase = makeField(this, "txtpassphrase", QRect(16, 334, 272, 24), lblpassphrase);
    txtpassphrase->setAccessibleName(QStringLiteral("Passphrase"));
    txtpassphrase->setEchoMode(QLineEdit::Password);
    QLabel *lblid = makeLabel(this, "lblid", QStringLiteral("The image's id"), QRect(16, 364, 272, 18),
                              Qt::AlignLeft | Qt::AlignVCenter);
    txtid = makeField(this, "txtid", QRect(16, 384, 272, 24), lblid);
    chkidfromname = new QCheckBox(QStringLiteral("The id is the file name without its extension"), this);
    chkidfromname->setObjectName(QStringLiteral("chkidfromname"));
    chkidfromname->setGeometry(QRect(16, 412, 272, 22));

    cmdrun = makeButton(this, "cmdrun", QStringLiteral("Check"), QRect(16, 450, 272, 32));
    prgbusy = new QProgressBar(this);
    prgbusy->setObjectName(QStringLiteral("prgbusy"));
    prgbusy->setGeometry(QRect(16, 490, 272, 16));
    prgbusy->setRange(0, 0); // no steps to count: it only shows that work goes on
    prgbusy->setTextVisible(false);
    prgbusy->setAccessibleName(QStringLiteral("Checking"));
    lblbusy = makeLabel(this, "lblbusy", QStringLiteral("Checking the picture ..."), QRect(16, 510, 272, 18));

    lblmap = makeLabel(this, "lblmap", kMapHeading,
                               QRect(304, 56, 560, 18), Qt::AlignCenter, makeFont("", 8.25, true));
    imgmap = new ImageBox(this, "imgmap", QRect(304, 76, 560, 420), lblmap);
    lblverdict = makeLabel(this, "lblverdict", QString(), QRect(304, 502, 560, 36), Qt::AlignLeft | Qt::AlignTop,
                           makeFont("", 9.75, true));
    // Focus goes to the verdict once it is in, so a screen reader reads it out.
    lblverdict->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    lblnc = makeLabel(this, "lblnc", QString(), QRect(304, 540, 560, 18));
    cmdsave = makeButton(this, "cmdsave", QStringLiteral("Save the map"), QRect(304, 566, 180, 30));
    cmdmain = makeButton(this, "cmdmain", QStringLiteral("Go to main menu"), QRect(684, 566, 180, 30));

    connect(cmdpicture, &QPushButton::clicked, this, &FrmCheck::cmdpicture_Click);
    connect(cmdwatermark, &QPushButton::clicked, this, &FrmCheck::cmdwatermark_Click);
    connect(cmdkeyfile, &QPushButton::clicked, this, &FrmCheck::cmdkeyfile_Click);
    connect(cmdrun, &QPushButton::clicked, this, &FrmCheck::cmdrun_Click);
    connect(cmdsave, &QPushButton::clicked, this, &FrmCheck::cmdsave_Click);
    connect(cmdmain, &QPushButton::clicked, this, &FrmCheck::cmdmain_Click);
    connect(chkidfromname, &QCheckBox::toggled, this, &FrmCheck::chkidfromname_Toggled);
    // Enter in any field checks, as the window's one action.
    for (QLineEdit *field : {txtpicture, txtwatermark, txtkeyfile, txtpassphrase, txtid})
        connect(field, &QLineEdit::returnPressed, this, &FrmCheck::cmdrun_Click);
}

FrmCheck::~FrmCheck() = default;

void FrmCheck::formLoad() {
    txtpicture->setText(session.cover.path);
    txtwatermark->setText(session.watermark.path);
    setBusy(false);
    clearOutcome();
}

void FrmCheck::chooseInto(QLineEdit *field, const QString &filter, const QString &title) {
    const QFileInfo current(field->text());
    const QString folder = !field->text().isEmpty() && current.absoluteDir().exists() ? current.absolutePath()
                           : session.browsing.folder.isEmpty()                         ? platform::homeDrive()
                                                                                       : session.browsing.folder;
    const QString chosen = platform::chooseFile(filter, folder, title);
    if (!chosen.isEmpty())
        field->setText(chosen);
    field->setFocus();
}

void FrmCheck::cmdpicture_Click() {
    chooseInto(txtpicture, kPictureFilter, QStringLiteral("Choose the picture to check"));
}

void FrmCheck::cmdwatermark_Click() {
    chooseInto(txtwatermark, kPictureFilter, QStringLiteral("Choose the watermark it should carry"));
}

void FrmCheck::cmdkeyfile_Click() {
    chooseInto(txtkeyfile, kKeyFilter, QStringLiteral("Choose the key file it was sealed with"));
}

void FrmCheck::chkidfromname_Toggled(bool fromName) { txtid->setEnabled(!fromName); }

std::optional<CheckRequest> FrmCheck::request() {
    CheckRequest r;
    r.picture = txtpicture->text().toStdString();
    r.watermark = txtwatermark->text().toStdString();
    r.threshold = spnthreshold->value();
    if (r.picture.empty()) {
        tell(QStringLiteral("Please choose the picture to check"));
        return std::nullopt;
    }
    if (r.watermark.empty()) {
        tell(QStringLiteral("Please choose the watermark the picture should carry"));
        return std::nullopt;
    }
    const bool keyFile = !txtkeyfile->text().isEmpty();
    const bool passphrase = !txtpassphrase->text().isEmpty();
    if (keyFile && passphrase) {
        tell(QStringLiteral("Give the key file or the passphrase, not both"));
        return std::nullopt;
    }
    r.key.ids.fromName = chkidfromname->isChecked();
    if (!r.key.ids.fromName)
        r.key.ids.id = txtid->text().toStdString();
    // As the tool has it: an id without a key is a mistake, not a keyless check.
    if (!keyFile && !passphrase && (r.key.ids.fromName || !r.key.ids.id.empty())) {
        tell(QStringLiteral("An id belongs to a sealed picture: give its key file or passphrase too"));
        return std::nullopt;
    }
    if (keyFile) {
        r.key.source = marking::KeyChoice::Source::KeyFile;
        r.key.path = txtkeyfile->text().toStdString();
    } else if (passphrase) {
        r.key.source = marking::KeyChoice::Source::Passphrase;
        const QByteArray typed = txtpassphrase->text().toUtf8();
        r.key.passphrase.assign(typed.begin(), typed.end());
    }
    return r;
}

void FrmCheck::cmdrun_Click() {
    if (busy_)
        return;
    std::optional<CheckRequest> asked = request();
    if (!asked)
        return;
    setBusy(true);
    clearOutcome();
    // The check holds only its copy of the request; its outcome is let go
    // when the window has gone by the time it is done.
    QPointer<FrmCheck> window(this);
    QThreadPool::globalInstance()->start([window, asked = std::move(*asked)] {
        auto outcome = std::make_shared<CheckOutcome>(runCheck(asked));
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [window, outcome] {
                if (window)
                    window->showOutcome(std::move(*outcome));
            },
            Qt::QueuedConnection);
    });
}

void FrmCheck::setBusy(bool busy) {
    busy_ = busy;
    cmdrun->setEnabled(!busy);
    prgbusy->setVisible(busy);
    lblbusy->setVisible(busy);
    if (busy)
        cmdsave->setEnabled(false);
}

void FrmCheck::clearOutcome() {
    shown_.reset();
    imgmap->clear();
    headMap(kMapHeading);
    lblverdict->setText(QStringLiteral("Not checked yet"));
    // Hidden while empty, so a screen reader meets no nameless label.
    lblnc->clear();
    lblnc->hide();
    cmdsave->setEnabled(false);
}

void FrmCheck::headMap(const QString &heading) {
    lblmap->setText(heading);
    nameAfter(imgmap, lblmap);
}

void FrmCheck::showOutcome(CheckOutcome outcome) {
    setBusy(false);
    if (outcome.refusal) {
        tell(fromStd(*outcome.refusal));
        cmdrun->setFocus();
        return;
    }
    const QString verdict = verdictSentence(outcome.check);
    const QString name = QFileInfo(txtpicture->text()).fileName();
    headMap(marking::noMatch(outcome.check.report, outcome.check.keyed) ? kPlainHeading : kMapHeading);
    imgmap->showPicture(shownMap(outcome.image, outcome.check), name);
    imgmap->setAccessibleDescription(name + QStringLiteral(": ") + verdict);
    lblverdict->setText(verdict);
    lblnc->setText(ncLine(outcome.check));
    lblnc->show();
    shown_ = std::move(outcome);
    cmdsave->setEnabled(true);
    lblverdict->setFocus();
}

void FrmCheck::cmdsave_Click() {
    if (!shown_)
        return;
    platform::Services &s = platform::services();
    for (;;) {
        const QString name = s.save->ask(kMapFilter, platform::saveFolder());
        if (name.isEmpty())
            return;
        // Refused before anything is written, in the tool's words.
        if (const auto format = formatForName(name.toStdString(), true); !format) {
            tell(fromStd(format.error().message()));
            return;
        }
        if (s.files->wouldReplace(name)) {
            const Answer a = s.messages->show(QDir::toNativeSeparators(name) +
                                                  QStringLiteral(" already exists.\nDo you want to replace it?"),
                                              Buttons::YesNoCancel, kSaveTitle);
            if (a == Answer::No)
                continue;
            if (a != Answer::Yes)
                return;
        }
        try {
            marking::saveMap(shown_->image, shown_->check.report, name.toStdString());
        } catch (const std::exception &e) {
            tell(fromStd(e.what()));
            return;
        }
        platform::rememberSaved(name);
        return;
    }
}

// Back on the main window the check window is let go, and a check still
// under way with it: its outcome finds no window and is dropped.
void FrmCheck::cmdmain_Click() {
    toMainMenu(*this);
    Registry::instance().unload(this);
}

void FrmCheck::titleBarClose() { cmdmain_Click(); }

} // namespace ombrel::windows
