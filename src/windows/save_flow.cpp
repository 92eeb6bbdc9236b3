#include "windows/save_flow.h"

#include "platform/platform.h"
#include "windows/controls.h"

namespace ombrel::windows {

SaveOutcome runSaveFlow(const SaveFlowTexts &texts, const Surface &surface) {
    platform::Services &s = platform::services();
    for (;;) {
        const QString name = s.save->ask(texts.filter);
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
        return saveOrReport(surface, name) ? SaveOutcome::Saved : SaveOutcome::NotSaved;
    }
}

} // namespace ombrel::windows
