// SPDX-License-Identifier: Apache-2.0
#include "windows/frmkey.h"

#include "marking/new_key.h"
#include "platform/platform.h"
#include "windows/controls.h"
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
    optfile = makeOption(this, "optfile", QStringLiteral("A key file:"), QRect(16, 12, 448, 20));
    txtkeyfile = makeField(this, "txtkeyfile", QRect(32, 36, 432, 24), QStringLiteral("Key file"));
    cmdchoose = makeButton(this, "cmdchoose", QStringLiteral("Choose a key file..."), QRect(32, 66, 150, 28));
    cmdnewkey = makeButton(this, "cmdnewkey", QStringLiteral("Make a new key..."), QRect(190, 66, 150, 28));
    optpass = makeOption(this, "optpass", QStringLiteral("A passphrase:"), QRect(16, 104, 448, 20));
    txtpass = makeField(this, "txtpass", QRect(32, 128, 432, 24), QStringLiteral("Passphrase"));
    txtpass->setEchoMode(QLineEdit::Password);
    lblagain = makeLabel(this, "lblagain", QStringLiteral("The passphrase again:"), QRect(32, 156, 432, 18));
    txtagain = makeField(this, "txtagain", QRect(32, 176, 432, 24), QString());
    txtagain->setEchoMode(QLineEdit::Password);
    nameAfter(txtagain, lblagain);
    QLabel *lblid = makeLabel(this, "lblid", QStringLiteral("The image's id:"), QRect(16, 216, 110, 20));
    txtid = makeField(this, "txtid", QRect(130, 212, 334, 24), QString());
    nameAfter(txtid, lblid);
    txtid->setToolTip(QStringLiteral("Give every image its own id; empty is the tool's default"));
    lblbusy = makeLabel(this, "lblbusy", QString(), QRect(16, 244, 220, 20));
    barbusy = new QProgressBar(this);
    barbusy->setObjectName(QStringLiteral("barbusy"));
    barbusy->setGeometry(240, 246, 224, 16);
    barbusy->setRange(0, 0); // busy: no measure of how far Argon2id has got
    barbusy->setAccessibleName(QStringLiteral("Reading the key"));
    barbusy->hide();
    cmduse = makeButton(this, "cmduse", QStringLiteral("Use this key"), QRect(16, 274, 140, 32));
    cmdnone = makeButton(this, "cmdnone", QStringLiteral("Without a key"), QRect(170, 274, 140, 32));
    cmdcancel = makeButton(this, "cmdcancel", QStringLiteral("Cancel"), QRect(324, 274, 140, 32));
    cmduse->setDefault(true);

    connect(cmdchoose, &QPushButton::clicked, this, &FrmKey::cmdchoose_Click);
    connect(cmdnewkey, &QPushButton::clicked, this, &FrmKey::cmdnewkey_Click);
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
    lblagain->setVisible(sealing);
    txtagain->setVisible(sealing);
    cmdnewkey->setEnabled(sealing);
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
    marking::KeyChoice c = choice();
    if (worker_.joinable())
        worker_.join();
    done_ = false;
    setBusy(true);
    // A passphrase takes Argon2id about a second: never on the window's thread.
    worker_ = std::thread([this, c = std::move(c)] {
        std::optional<marking::Keying> keying;
        std::string refusal;
        try {
            keying = marking::keyingFor(c);
        } catch (const std::exception &e) {
            refusal = e.what();
        }
        QMetaObject::invokeMethod(
            this, [this, keying = std::move(keying), refusal] { keyRead(keying, refusal); }, Qt::QueuedConnection);
    });
}

void FrmKey::keyRead(std::optional<marking::Keying> keying, const std::string &refusal) {
    done_ = true;
    setBusy(false);
    if (abandoned_) {
        Registry::instance().unload(this);
        return;
    }
    if (!keying) {
        refuse(platform::fromStd(refusal));
        return;
    }
    // Only where the key lives, and for this run alone.
    if (optfile->isChecked())
        session.key.file = txtkeyfile->text();
    session.key.id = txtid->text();
    proceed(*keying);
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
    lblbusy->setText(busy ? (optpass->isChecked() ? QStringLiteral("Making the key from the passphrase ...")
                                                  : QStringLiteral("Reading the key file ..."))
                          : QString());
    barbusy->setVisible(busy);
    for (QWidget *w : std::initializer_list<QWidget *>{optfile, optpass, txtkeyfile, txtpass, txtagain, txtid,
                                                       cmdchoose, cmduse, cmdnone})
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
