// SPDX-License-Identifier: Apache-2.0
#include "platform/qt_services.h"

#include "text/texts.h"

#include <QDir>

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QWidget>

namespace ombrel::platform {

namespace {

QString titleOr(const QString &title) {
    return title.isEmpty() ? fromStd(text::kApplicationTitle) : title;
}

} // namespace

class QtServices::Messages : public MessageBoxService {
public:
    Answer show(const QString &prompt, Buttons buttons, const QString &title) override {
        QMessageBox box(QMessageBox::NoIcon, titleOr(title), prompt, QMessageBox::NoButton,
                        QApplication::activeWindow());
        if (buttons == Buttons::Ok) {
            box.setStandardButtons(QMessageBox::Ok);
            box.exec();
            return Answer::Ok;
        }
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
        switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return Answer::Cancel;
        }
    }
};

class QtServices::Input : public InputBoxService {
public:
    QString ask(const QString &prompt, const QString &title, const QString &reply) override {
        bool ok = false;
        const QString text = QInputDialog::getText(QApplication::activeWindow(), titleOr(title),
                                                   prompt, QLineEdit::Normal, reply, &ok);
        return ok ? text : QString();
    }
};

class QtServices::Save : public SaveDialogService {
public:
    QString ask(const QString &filter, const QString &folder) override {
        const QString qt = qtFilter(filter);
        QString selected = qt.section(QStringLiteral(";;"), 0, 0); // the first entry, preselected
        return QFileDialog::getSaveFileName(QApplication::activeWindow(), QString(), folder,
                                            qt, &selected, QFileDialog::DontConfirmOverwrite);
    }
};

class QtServices::Open : public OpenDialogService {
public:
    QString choose(const QString &filter, const QString &folder, const QString &title) override {
        return QFileDialog::getOpenFileName(QApplication::activeWindow(), title, folder, qtFilter(filter));
    }
};

class QtServices::Settings : public SettingsService {
public:
    std::optional<QString> value(const QString &key) override {
        const QSettings settings(QSettings::IniFormat, QSettings::SystemScope,
                                 QStringLiteral("ombrel"), QStringLiteral("ombrel-watermark"));
        const QVariant v = settings.value(key);
        if (!v.isValid())
            return std::nullopt;
        return v.toString();
    }
};

class QtServices::Launcher : public LauncherService {
public:
    bool start(const QString &program) override {
        // The program itself, no shell: a settings value cannot run a command line.
        return !program.isEmpty() && QProcess::startDetached(program, {});
    }
};

class QtServices::Exit : public ExitService {
public:
    void end() override {
        for (QWidget *w : QApplication::topLevelWidgets())
            w->hide();
        QCoreApplication::exit(0);
    }
};

class QtServices::Files : public FileSystemService {
public:
    bool exists(const QString &name) override { return isOrdinaryFile(name); }
    bool wouldReplace(const QString &name) override { return isAnyFile(name); }
    QString home() override { return QDir::homePath(); }
    QList<Drive> drives() override { return drivesWithHome(home()); }
};

Services QtServices::services() {
    static Messages messages;
    static Input input;
    static Save save;
    static Settings settings;
    static Launcher launcher;
    static Exit exit;
    static Files files;
    static Open open;
    return {&messages, &input, &save, &settings, &launcher, &exit, &files, &open};
}

} // namespace ombrel::platform
