// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "marking/keying.h"
#include "marking/pictures.h"
#include "windows/window.h"

#include <functional>
#include <memory>
#include <string>
#include <thread>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace ombrel::windows {

class Session;

// What the key is for: sealing asks for a passphrase twice, since a slip of
// the finger there seals under a key nobody knows.
enum class KeyUse { Sealing, Extracting };

// What the screen that opened the key screen does once it is answered: the
// keyless Keying for "Without a key".
using WithKey = std::function<void(const marking::Keying &)>;

// "Key and id": a key file (chosen, or made new), or a passphrase, and the
// image's id. The key is read, or made from the passphrase, on a thread of
// its own; it is handed on and never shown or kept. The key file's path and
// the id are remembered for this run only.
class FrmKey : public Window {
    Q_OBJECT
public:
    explicit FrmKey(Session &session);
    ~FrmKey() override;
    void formLoad() override;

    // Sets the screen up for one use; then is shown.
    void ask(KeyUse use, WithKey then);
    // True while the key is being read or made from the passphrase.
    bool busy() const { return worker_.joinable() && !done_; }

protected:
    void titleBarClose() override { cmdcancel_Click(); }

private:
    Session &session;
    KeyUse use_ = KeyUse::Sealing;
    WithKey then_;

    QRadioButton *optfile, *optpass;
    QLineEdit *txtkeyfile, *txtpass, *txtagain, *txtid;
    QLabel *lblagain, *lblcover, *lblbusy;
    QProgressBar *barbusy;
    QPushButton *cmdchoose, *cmdnewkey, *cmdcover, *cmduse, *cmdnone, *cmdcancel;

    // A cover picked here instead of the embedding screen's, and whether it
    // is fitted to 1024 x 768 first; empty for the embedding screen's.
    QString coverPath_;
    marking::Fit fit_ = marking::Fit::NotOffered;

    void cmdchoose_Click();
    void cmdnewkey_Click();
    void cmdcover_Click();
    void cmduse_Click();
    void cmdnone_Click();
    void cmdcancel_Click();

    marking::KeyChoice choice() const;
    void setBusy(bool busy);
    // Back on the window's thread: the key, or the refusal to show.
    void keyRead(std::optional<marking::Keying> keying, const std::string &refusal);
    // Closes the screen and goes on with the key.
    void proceed(const marking::Keying &keying);
    // The picked cover sealed as `ombrel embed` seals it, into a file the
    // user names; the embedding screen stays.
    void sealPickedCover(const marking::Keying &keying);
    // Work off the window's thread; done gets its refusal, empty when none.
    void inBackground(std::function<std::string()> work, std::function<void(const std::string &)> done);

    // Where the controls that do not belong to this use are put: off the
    // window, so a screen reader never meets them. Never shown.
    std::unique_ptr<QWidget> offstage_;

    std::thread worker_;
    bool done_ = false;
    bool abandoned_ = false; // closed while the key was being read
};

// The one handler of "Seal with a key..." and "Extract with a key...": the
// key screen, which then goes on as then says.
void cmdkey_Click(KeyUse use, WithKey then);

} // namespace ombrel::windows
