#include "windows/save_flow.h"

#include "platform/platform.h"
#include "platform/save_folder.h"
#include "windows/controls.h"

namespace ombrel::windows {

SaveOutcome runSaveFlow(const SaveFlowTexts &texts, const Surface &surface) {
    platform::Services &s = platform::services();
    for (;;) {
        const QString name = s.save->ask(texts.filter, platform::saveFolder());
        if (name.isEmpty())
            return SaveOutcome::NotSaved;
        if (platform::fileExists(name)) {
            const platform::Answer a =
                s.messages->show(texts.prompt, platform::Buttons::YesNoCancel, texts.title);
            if (a == platform::Answer::No)
                continue;
            if (a != platform::Answer::Yes)
                return SaveOutcome::Cancelled;
        }
        if (!saveOrReport(surface, name))
            return SaveOutcome::NotSaved;
        platform::rememberSaved(name);
        return SaveOutcome::Saved;
    }
}

} // namespace ombrel::windows
