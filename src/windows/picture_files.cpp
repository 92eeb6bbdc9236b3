// SPDX-License-Identifier: Apache-2.0
#include "windows/picture_files.h"

#include "imaging/picture_in.h"
#include "imaging/picture_out.h"
#include "platform/platform.h"
#include "platform/save_folder.h"

namespace ombrel::windows {

std::optional<Image> loadOrReport(const QString &path) {
    LoadedPicture loaded = loadBitmap(path.toStdString());
    if (loaded.ok())
        return std::move(*loaded);
    platform::services().messages->show(platform::fromStd(loaded.error().message()), platform::Buttons::Ok, {});
    return std::nullopt;
}

bool saveOrReport(const Surface &surface, const QString &path) {
    if (const auto saved = saveBitmap(surface.image(), path.toStdString()); !saved) {
        platform::services().messages->show(platform::fromStd(saved.error().message()), platform::Buttons::Ok, {});
        return false;
    }
    return true;
}

SaveOutcome runSaveFlow(const SaveFlowTexts &texts, const Surface &surface) {
    platform::Services &s = platform::services();
    for (;;) {
        const QString name = s.save->ask(texts.filter, platform::saveFolder());
        if (name.isEmpty())
            return SaveOutcome::NotSaved;
        // Hidden files too: a name starting with a dot is still the user's file.
        if (s.files->wouldReplace(name)) {
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
