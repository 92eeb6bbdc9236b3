// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "platform/platform.h"

#include <QList>
#include <QMap>

#include <deque>

namespace ombrel::platform {

// Services that answer from a script and record what they were asked, so
// tests drive the windows without a modal dialog ever opening.
class ScriptedServices : public MessageBoxService,
                         public InputBoxService,
                         public SaveDialogService,
                         public SettingsService,
                         public LauncherService,
                         public ExitService,
                         public FileSystemService,
                         public OpenDialogService {
public:
    struct Shown {
        QString prompt;
        Buttons buttons;
        QString title;
    };

    ScriptedServices();
    ~ScriptedServices() override;

    // Answers given in order; a message box with nothing scripted answers OK
    // (or Cancel for Yes/No/Cancel), an input box Cancel, a save dialog Cancel.
    std::deque<Answer> answers;
    std::deque<QString> replies;
    std::deque<QString> saveNames;
    std::deque<QString> openNames; // open dialogs answer these, then Cancel
    QMap<QString, QString> settingsValues;
    bool launchSucceeds = true;
    // The folder that stands for c:; the files in it are real.
    QString homeFolder;

    QList<Shown> messages;
    QStringList prompts;  // input boxes shown
    QStringList filters;  // save dialogs shown
    QStringList folders;  // ... and the folders they opened in
    QStringList openFilters; // open dialogs shown
    QStringList openTitles;
    QStringList launched;
    bool ended = false;

    Answer show(const QString &prompt, Buttons buttons, const QString &title) override;
    QString ask(const QString &prompt, const QString &title, const QString &reply) override;
    QString ask(const QString &filter, const QString &folder) override;
    std::optional<QString> value(const QString &key) override;
    bool start(const QString &program) override;
    void end() override;
    bool exists(const QString &name) override;
    bool wouldReplace(const QString &name) override;
    QString home() override;
    QList<Drive> drives() override;
    QString choose(const QString &filter, const QString &folder, const QString &title) override;

private:
    Services previous_;
};

} // namespace ombrel::platform
