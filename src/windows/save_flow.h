#pragma once

#include "imaging/surface.h"

#include <QString>

namespace ombrel::windows {

// What differs between the screens that save a picture under a chosen name.
struct SaveFlowTexts {
    QString filter;
    QString title;
    QString prompt;
};

enum class SaveOutcome {
    Saved,
    Cancelled, // Cancel in the overwrite question
    NotSaved,  // the dialog cancelled (silently) or the write failed (reported)
};

// Save dialog, overwrite question (No asks again, as often as the user
// likes), then the save itself.
SaveOutcome runSaveFlow(const SaveFlowTexts &texts, const Surface &surface);

} // namespace ombrel::windows
