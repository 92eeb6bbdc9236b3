// SPDX-License-Identifier: Apache-2.0
#include "windows/frmkey.h"

#include "imaging/picture_formats.h"
#include "marking/new_key.h"
#include "marking/sealing.h"
#include "stego/intake.h"
#include "text/texts.h"
#include "platform/platform.h"
#include "windows/controls.h"
#include "windows/frmencode2.h"
#include "windows/registry.h"
#include "windows/session.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QCoreApplication>
#include <QProgressBar>
#include <QRadioButton>

#include <exception>
#include <utility>

namespace ombrel::windows {

namespace {

const QString kTitle = QStringLiteral("Key and id");
const QString kKeyFilter = QStringLiteral("key file (*.key)|*.key|all files (*)|*|");
// What the marking reads, by content; the names only guide the dialog.
const QString kPictureFilter =
    QStringLiteral("pictures (*.bmp *.png *.tif *.tiff *.ppm)|*.bmp *.png *.tif *.tiff *.ppm|all files (*)|*|");
// A sealed picture goes where its format keeps every bit.
const QString kSealedFilter = QStringLiteral("png picture (*.png)|*.png|bmp picture (*.bmp)|*.bmp|");

QLineEdit *makeField(QWidget *parent, const char *name, QRect geometry, const QString &readerName) {
    auto *field = new QLineEdit(parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setGeometry(geometry);
    field->setAccessibleName(readerName);
    return field;
}

QRadioButton *makeOption(QWidget *parent, const char *name, const QString &caption, QRect geometry) {
    auto *option = new QRadioButton(caption, parent);
    option->setObjectName(QString::fromLatin1(name));
    option->setGeometry(geometry);
    return option;
}

SecretBytes bytesOf(const QString &text) {
    const QByteArray utf8 = text.toUtf8();
    SecretBytes bytes(utf8.begin(), utf8.end());
    return bytes;
}

void refuse(const QString &why) { platform::services().messages->show(why, platform::Buttons::Ok, kTitle); }

} // namespace

FrmKey::FrmKey(Session &session)
    : Window("frmkey", kTitle, QSize(480, 316), Border::FixedDialog), session(session) {
    setWindowModality(Qt::ApplicationModal);
    optfile = makeOption(this, "optfile", QStringLiteral("A key file:"), QRect(16, 8, 448, 20));
    txtkeyfile = makeField(this, "txtkeyfile", QRect(32, 30, 432, 24), QStringLiteral("Key file"));
    cmdchoose = makeButton(this, "cmdchoose", QStringLiteral("Choose a key file..."), QRect(32, 58, 150, 28));
    cmdnewkey = makeButton(this, "cmdnewkey", QStringLiteral("Make a new key..."), QRect(190, 58, 150, 28));
    optpass = makeOption(this, "optpass", QStringLiteral("A passphrase:"), QRect(16, 92, 448, 20));
    txtpass = makeField(this, "txtpass", QRect(32, 114, 432, 24), QStringLiteral("Passphrase"));
    txtpass->setEchoMode(QLineEdit::Password);
    lblagain = makeLabel(this, "lblagain", QStringLiteral("The passphrase again:"), QRect(32, 142, 432, 18));
    txtagain = makeField(this, "txtagain", QRect(32, 160, 432, 24), QString());
    txtagain->setEchoMode(QLineEdit::Password);
    nameAfter(txtagain, lblagain);
    QLabel *lblid = makeLabel(this, "lblid", QStringLiteral("The image's id:"), QRect(16, 196, 110, 20));
    txtid = makeField(this, "txtid", QRect(130, 192, 334, 24), QString());
    nameAfter(txtid, lblid);
    txtid->setToolTip(QStringLiteral("Give every image its own id; empty is the tool's default"));
    lblcover = makeLabel(this, "lblcover", QString(), QRect(16, 226, 300, 20));
    cmdcover = makeButton(this, "cmdcover", QStringLiteral("Another cover..."), QRect(324, 222, 140, 28));
    lblbusy = makeLabel(this, "lblbusy", QString(), QRect(16, 254, 220, 18));
    barbusy = new QProgressBar(this);
    barbusy->setObjectName(QStringLiteral("barbusy"));
    barbusy->setGeometry(240, 256, 224, 14);
    barbusy->setRange(0, 0); // busy: no measure of how far Argon2id has got
    barbusy->setAccessibleName(QStringLiteral("Reading the key"));
    barbusy->hide();
    cmduse = makeButton(this, "cmduse", QStringLiteral("Use this key"), QRect(16, 276, 140, 32));
    cmdnone = makeButton(this, "cmdnone", QStringLiteral("Without a key"), QRect(170, 276, 140, 32));
    cmdcancel = makeButton(this, "cmdcancel", QStringLiteral("Cancel"), QRect(324, 276, 140, 32));
    cmduse->setDefault(true);

    connect(cmdchoose, &QPushButton::clicked, this, &FrmKey::cmdchoose_Click);
    connect(cmdnewkey, &QPushButton::clicked, this, &FrmKey::cmdnewkey_Click);
    connect(cmdcover, &QPushButton::clicked, this, &FrmKey::cmdcover_Click);
    connect(cmduse, &QPushButton::clicked, this, &FrmKey::cmduse_Click);
    connect(cmdnone, &QPushButton::clicked, this, &FrmKey::cmdnone_Click);
    connect(cmdcancel, &QPushButton::clicked, this, &FrmKey::cmdcancel_Click);
    // Typing into a field picks the source it belongs to.
    connect(txtkeyfile, &QLineEdit::textEdited, optfile, [this] { optfile->setChecked(true); });
    for (QLineEdit *field : {txtpass, txtagain})
        connect(field, &QLineEdit::textEdited, optpass, [this] { optpass->setChecked(true); });
    // Enter in a field is "Use this key", as in a dialog.
    for (QLineEdit *field : {txtkeyfile, txtpass, txtagain, txtid})
        connect(field, &QLineEdit::returnPressed, this, &FrmKey::cmduse_Click);
}

FrmKey::~FrmKey() {
    // A key being made from a passphrase finishes first; its result goes nowhere.
    if (worker_.joinable())
        worker_.join();
}

void FrmKey::formLoad() {
    txtkeyfile->setText(session.key.file);
    txtid->setText(session.key.id);
    optfile->setChecked(true);
}

void FrmKey::ask(KeyUse use, WithKey then) {
    use_ = use;
    then_ = std::move(then);
    const bool sealing = use == KeyUse::Sealing;
    cmdnewkey->setEnabled(sealing);
    lblcover->setText(QStringLiteral("Cover: the embedding screen's"));
    // Extracting needs no second passphrase and no cover. Hidden controls
    // stay in the accessible tree, so they leave the window instead; the
    // screen is made afresh for each use, so they never come back.
    if (!sealing) {
        if (!offstage_)
            offstage_ = std::make_unique<QWidget>();
        for (QWidget *w : std::initializer_list<QWidget *>{lblagain, txtagain, lblcover, cmdcover}) {
            w->setParent(offstage_.get());
            w->hide();
        }
    }
    setWindowTitle(kTitle);
}

void FrmKey::cmdchoose_Click() {
    const QString folder = txtkeyfile->text().isEmpty() ? platform::homeDrive()
                                                        : QFileInfo(txtkeyfile->text()).absolutePath();
    const QString chosen = platform::chooseFile(kKeyFilter, folder, QStringLiteral("Choose a key file"));
    if (chosen.isEmpty())
        return;
    txtkeyfile->setText(chosen);
    optfile->setChecked(true);
}

void FrmKey::cmdnewkey_Click() {
    const QString where = platform::services().save->ask(QStringLiteral("key file (*.key)|*.key|"),
                                                         platform::homeDrive());
    if (where.isEmpty())
        return;
    try {
        // keygen's own code: never over an existing file, the owner's alone.
        marking::makeKey(where.toStdString());
    } catch (const std::exception &e) {
        refuse(platform::fromStd(e.what()));
        return;
    }
    txtkeyfile->setText(where);
    optfile->setChecked(true);
}

void FrmKey::cmdcover_Click() {
    const QString chosen = platform::chooseFile(kPictureFilter, platform::homeDrive(), QStringLiteral("Choose a cover"));
    if (chosen.isEmpty())
        return;
    Image picture;
    try {
        picture = marking::load(chosen.toStdString());
    } catch (const std::exception &e) {
        refuse(platform::fromStd(e.what()));
        return;
    }
    marking::Fit fit = marking::Fit::NotOffered;
    const QString size = QStringLiteral("%1 x %2").arg(picture.width).arg(picture.height);
    if (picture.width != 1024 || picture.height != 768) {
        // The tool's --fit: scaled to cover 1024 x 768, the centre cut out.
        const auto answer = platform::services().messages->show(
            QFileInfo(chosen).fileName() + QStringLiteral(" is ") + size +
                QStringLiteral(", not 1024 x 768. Fit it: scale it to cover 1024 x 768 and cut out the centre?"),
            platform::Buttons::YesNoCancel, kTitle);
        if (answer != platform::Answer::Yes)
            return;
        fit = marking::Fit::On;
    }
    coverPath_ = chosen;
    fit_ = fit;
    lblcover->setText(QStringLiteral("Cover: ") + QFileInfo(chosen).fileName() + QStringLiteral(", ") + size +
                      (fit == marking::Fit::On ? QStringLiteral(", fitted") : QString()));
}

marking::KeyChoice FrmKey::choice() const {
    marking::KeyChoice c;
    c.ids.id = txtid->text().toStdString();
    if (optpass->isChecked()) {
        c.source = marking::KeyChoice::Source::Passphrase;
        c.passphrase = bytesOf(txtpass->text());
        c.confirm = use_ == KeyUse::Sealing;
        c.again = bytesOf(txtagain->text());
    } else {
        c.source = marking::KeyChoice::Source::KeyFile;
        c.path = txtkeyfile->text().toStdString();
    }
    return c;
}

void FrmKey::cmduse_Click() {
    if (busy())
        return;
    if (optfile->isChecked() && txtkeyfile->text().isEmpty()) {
        refuse(QStringLiteral("Choose a key file, or make a new one"));
        return;
    }
    // A passphrase takes Argon2id about a second: never on the window's thread.
    auto keying = std::make_shared<std::optional<marking::Keying>>();
    inBackground([c = choice(), keying] {
        *keying = marking::keyingFor(c);
        return std::string();
    }, [this, keying](const std::string &refusal) { keyRead(*keying, refusal); });
}

void FrmKey::inBackground(std::function<std::string()> work, std::function<void(const std::string &)> done) {
    if (worker_.joinable())
        worker_.join();
    done_ = false;
    setBusy(true);
    worker_ = std::thread([this, work = std::move(work), done = std::move(done)] {
        std::string refusal;
        try {
            refusal = work();
        } catch (const std::exception &e) {
            refusal = e.what();
        }
        QMetaObject::invokeMethod(
            this,
            [this, done, refusal] {
                done_ = true;
                setBusy(false);
                if (abandoned_) {
                    Registry::instance().unload(this);
                    return;
                }
                done(refusal);
            },
            Qt::QueuedConnection);
    });
}

void FrmKey::keyRead(std::optional<marking::Keying> keying, const std::string &refusal) {
    if (!keying) {
        refuse(platform::fromStd(refusal));
        return;
    }
    // Only where the key lives, and for this run alone.
    if (optfile->isChecked())
        session.key.file = txtkeyfile->text();
    session.key.id = txtid->text();
    if (use_ == KeyUse::Sealing && !coverPath_.isEmpty())
        sealPickedCover(*keying);
    else
        proceed(*keying);
}

void FrmKey::sealPickedCover(const marking::Keying &keying) {
    platform::Services &s = platform::services();
    const int threshold = FrmEncode2::askThreshold();
    const QString output = s.save->ask(kSealedFilter, platform::homeDrive());
    if (output.isEmpty())
        return;
    // A lossy format would lose the mark: refused before anything is done.
    if (const auto format = formatForName(output.toStdString(), true); !format) {
        refuse(platform::fromStd(format.error().message()));
        return;
    }
    if (s.files->wouldReplace(output) &&
        s.messages->show(QStringLiteral("The file already exists, do you want to overwrite it ?"),
                         platform::Buttons::YesNoCancel, QStringLiteral("File already exists")) != platform::Answer::Yes)
        return;
    marking::SealRequest request;
    request.cover = coverPath_.toStdString();
    request.watermark = session.watermark.path.toStdString();
    request.output = output.toStdString();
    request.threshold = threshold;
    request.fit = fit_;
    request.key = keying;
    inBackground([request] {
        // Through a temporary and a rename: closing the screen meanwhile
        // leaves no half-written picture.
        marking::seal(request);
        return std::string();
    }, [this, output](const std::string &refusal) {
        if (!refusal.empty()) {
            refuse(platform::fromStd(refusal));
            return;
        }
        platform::services().messages->show(QStringLiteral("The sealed picture is saved in ") + output,
                                             platform::Buttons::Ok, kTitle);
        Registry::instance().unload(this);
    });    lblbusy->setText(QStringLiteral("Sealing the picture ..."));
}

void FrmKey::cmdnone_Click() {
    if (busy())
        return;
    proceed(marking::Keying{});
}

void FrmKey::cmdcancel_Click() {
    if (busy()) {
        abandoned_ = true;
        hide();
        return;
    }
    Registry::instance().unload(this);
}

void FrmKey::proceed(const marking::Keying &keying) {
    WithKey then = std::move(then_);
    Registry::instance().unload(this);
    if (then)
        then(keying);
}

void FrmKey::setBusy(bool busy) {
    lblbusy->setText(!busy                  ? QString()
                     : optpass->isChecked() ? QStringLiteral("Making the key from the passphrase ...")
                                            : QStringLiteral("Reading the key file ..."));
    lblbusy->setVisible(busy);
    barbusy->setVisible(busy);
    for (QWidget *w : std::initializer_list<QWidget *>{optfile, optpass, txtkeyfile, txtpass, txtagain, txtid,
                                                       cmdchoose, cmdcover, cmduse, cmdnone})
        w->setEnabled(!busy);
    cmdnewkey->setEnabled(!busy && use_ == KeyUse::Sealing);
}

void cmdkey_Click(KeyUse use, WithKey then) {
    FrmKey &screen = Registry::instance().reload<FrmKey>();
    screen.ask(use, std::move(then));
    screen.show();
    screen.activateWindow();
}

} // namespace ombrel::windows
