#include "platform/scripted.h"

namespace ombrel::platform {

ScriptedServices::ScriptedServices() : previous_(services()) {
    install({this, this, this, this, this, this});
}

ScriptedServices::~ScriptedServices() { install(previous_); }

Answer ScriptedServices::show(const QString &prompt, Buttons buttons, const QString &title) {
    messages.append({prompt, buttons, title});
    if (!answers.empty()) {
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
}

QString ScriptedServices::ask(const QString &prompt, const QString &, const QString &) {
    prompts.append(prompt);
    if (replies.empty())
        return {};
    const QString r = replies.front();
    replies.pop_front();
    return r;
}

QString ScriptedServices::ask(const QString &filter) {
    filters.append(filter);
    if (saveNames.empty())
        return {};
    const QString n = saveNames.front();
    saveNames.pop_front();
    return n;
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

} // namespace ombrel::platform
