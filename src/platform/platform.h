// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <string_view>

namespace ombrel::platform {

enum class Buttons { Ok, YesNoCancel };
enum class Answer { Ok, Yes, No, Cancel };

// Modal message box: no icon; the application title when no title is given.
class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    virtual Answer show(const QString &prompt, Buttons buttons, const QString &title) = 0;
};

// Modal input box; Cancel gives empty text.
class InputBoxService {
public:
    virtual ~InputBoxService() = default;
    virtual QString ask(const QString &prompt, const QString &title, const QString &reply) = 0;
};

// Modal save dialog taking a filter such as "bmp file (*.bmp)|*.bmp|" and
// the folder it opens in; the chosen name exactly as chosen, or empty text
// when cancelled. It never asks about overwriting: the screens ask their own
// question.
class SaveDialogService {
public:
    virtual ~SaveDialogService() = default;
    virtual QString ask(const QString &filter, const QString &folder) = 0;
};

// Modal open dialog for an existing file, taking a filter in the save
// dialog's form, the folder it opens in and its title; the chosen name, or
// empty text when cancelled.
class OpenDialogService {
public:
    virtual ~OpenDialogService() = default;
    virtual QString choose(const QString &filter, const QString &folder, const QString &title) = 0;
};

// Values from the system-wide settings of the application.
class SettingsService {
public:
    virtual ~SettingsService() = default;
    virtual std::optional<QString> value(const QString &key) = 0;
};

// Starts a program detached, without a shell and without waiting.
class LauncherService {
public:
    virtual ~LauncherService() = default;
    virtual bool start(const QString &program) = 0;
};

// Ends the application at once.
class ExitService {
public:
    virtual ~ExitService() = default;
    virtual void end() = 0;
};

struct Drive {
    QString label; // as the drive list shows it
    QString root;  // folder the drive opens on
};

// The file system as the windows see it.
class FileSystemService {
public:
    virtual ~FileSystemService() = default;
    // True for an ordinary file of exactly that name; folders and hidden files do not count.
    virtual bool exists(const QString &name) = 0;
    // True when saving under that name would replace a file, hidden ones included.
    virtual bool wouldReplace(const QString &name) = 0;
    // "C:\\" of the drive-letter world: the user's home folder.
    virtual QString home() = 0;
    // c: (the home folder) first, then the filesystem root and mounted volumes.
    virtual QList<Drive> drives() = 0;
};

struct Services {
    MessageBoxService *messages;
    InputBoxService *input;
    SaveDialogService *save;
    SettingsService *settings;
    LauncherService *launcher;
    ExitService *exit;
    FileSystemService *files;
    // Only the new screens open files by dialog; last, so a set of services
    // written before it still reads as one.
    OpenDialogService *open = nullptr;
};

// The services in force: the Qt ones unless a test installed its own.
Services &services();
void install(const Services &s);

// A save-dialog filter "description|pattern|..." in Qt's "description (pattern)" form.
QString qtFilter(const QString &filter);

// The file-system service's answers, for short.
bool fileExists(const QString &name);
QString homeDrive();
QList<Drive> drives();
// The open dialog in force: empty text when no service serves one.
QString chooseFile(const QString &filter, const QString &folder, const QString &title);
// A fixed file such as "output.bmp" in the home folder.
QString fixedFile(const QString &name);

// The real file system's answers, whoever serves them.
bool isOrdinaryFile(const QString &name);
bool isAnyFile(const QString &name);
QList<Drive> drivesWithHome(const QString &home);

// UTF-8 text from the program's words and the core's messages.
QString fromStd(std::string_view s);

// Settings keys of the system-information lookup, and the program looked for
// in the folder of the second.
inline constexpr const char *kSysInfoPathKey = "SystemInformation/Path";
inline constexpr const char *kSysInfoFolderKey = "SystemInformation/Folder";
inline constexpr const char *kSysInfoProgram = "hardinfo";

} // namespace ombrel::platform
