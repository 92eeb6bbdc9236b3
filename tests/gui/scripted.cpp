// SPDX-License-Identifier: Apache-2.0
#include "gui/scripted.h"

namespace ombrel::platform {

namespace {

// The next scripted answer, or the fallback when the script has run out.
template <typename T>
T next(std::deque<T> &script, T fallback) {
    if (script.empty())
        return fallback;
    T value = script.front();
    script.pop_front();
    return value;
}

} // namespace

ScriptedServices::ScriptedServices() : previous_(services()) {
    install({this, this, this, this, this, this, this, this});
}

ScriptedServices::~ScriptedServices() { install(previous_); }

Answer ScriptedServices::show(const QString &prompt, Buttons buttons, const QString &title) {
    messages.append({prompt, buttons, title});
    return next(answers, buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel);
}

QString ScriptedServices::ask(const QString &prompt, const QString &, const QString &) {
    prompts.append(prompt);
    return next(replies, QString());
}

QString ScriptedServices::ask(const QString &filter, const QString &folder) {
    filters.append(filter);
    folders.append(folder);
    return next(saveNames, QString());
}

QString ScriptedServices::choose(const QString &filter, const QString &, const QString &title) {
    openFilters.append(filter);
    openTitles.append(title);
    return next(openNames, QString());
}

std::optional<QString> ScriptedServices::value(const QString &key) {
    const auto it = settingsValues.find(key);
    if (it == settingsValues.end())
        return std::nullopt;
    return *it;
}

bool ScriptedServices::start(const QString &program) {
    launched.append(program);
    return launchSucceeds;
}

void ScriptedServices::end() { ended = true; }

bool ScriptedServices::exists(const QString &name) { return isOrdinaryFile(name); }

bool ScriptedServices::wouldReplace(const QString &name) { return isAnyFile(name); }

QString ScriptedServices::home() { return homeFolder; }

QList<Drive> ScriptedServices::drives() { return drivesWithHome(homeFolder); }

} // namespace ombrel::platform
