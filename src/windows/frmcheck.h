// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "marking/check_report.h"
#include "marking/keying.h"
#include "windows/window.h"

#include <QString>

#include <optional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace ombrel::windows {

class ImageBox;
class Session;

// What one check is asked to do, copied off the window so the check can run
// while the window changes or goes.
struct CheckRequest {
    std::string picture;
    std::string watermark;
    int threshold = 0;
    marking::KeyChoice key;
};

// What came of it: the picture as it was read and the report on it, or the
// one-line refusal that stopped it.
struct CheckOutcome {
    std::optional<std::string> refusal;
    Surface image{Image()};
    marking::PictureCheck check;
};

// The whole check, as `ombrel verify` does it: every file read, the key
// made, the picture checked. Never throws; a refusal comes back in words.
CheckOutcome runCheck(const CheckRequest &request);

// The verdict in a sentence a screen reader can read out, and the NC line
// as the tool prints it.
QString verdictSentence(const marking::PictureCheck &check);
QString ncLine(const marking::PictureCheck &check);

// The tamper map as the window shows it: the tool's map, with the altered
// area framed so a small change is found at a glance; the picture itself
// when no block matches, since a map red all over says nothing.
Image shownMap(const Surface &image, const marking::PictureCheck &check);

// "Check the image for changes": asks for a picture, the watermark and
// threshold it was marked with and, for a sealed one, its key and id;
// checks it off the window's thread and shows where it was changed.
class FrmCheck : public Window {
    Q_OBJECT
public:
    explicit FrmCheck(Session &session);
    ~FrmCheck() override;
    void formLoad() override;
    // A check is under way.
    bool busy() const { return busy_; }

protected:
    // Closing through the title bar goes back to the main menu.
    void titleBarClose() override;

private:
    Session &session;

    QLineEdit *txtpicture, *txtwatermark, *txtkeyfile, *txtpassphrase, *txtid;
    QPushButton *cmdpicture, *cmdwatermark, *cmdkeyfile, *cmdrun, *cmdsave, *cmdmain;
    QSpinBox *spnthreshold;
    QCheckBox *chkidfromname;
    QProgressBar *prgbusy;
    QLabel *lblbusy, *lblverdict, *lblnc, *lblmap;
    ImageBox *imgmap;

    bool busy_ = false;
    std::optional<CheckOutcome> shown_;

    void cmdpicture_Click();
    void cmdwatermark_Click();
    void cmdkeyfile_Click();
    void cmdrun_Click();
    void cmdsave_Click();
    void cmdmain_Click();
    void chkidfromname_Toggled(bool fromName);

    // The fields read into a request, or a message shown and nothing.
    std::optional<CheckRequest> request();
    void setBusy(bool busy);
    void showOutcome(CheckOutcome outcome);
    void clearOutcome();
    // The map's heading, and the picture's name for a screen reader, say what is shown.
    void headMap(const QString &heading);
    // The file dialog for one of the fields, opening where its file is.
    void chooseInto(QLineEdit *field, const QString &filter, const QString &title);
};

} // namespace ombrel::windows
