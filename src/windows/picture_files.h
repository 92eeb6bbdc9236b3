// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/surface.h"

#include <QString>

#include <optional>

namespace ombrel::windows {

// Reads a bitmap; on failure shows a message box naming the file and the reason.
std::optional<Image> loadOrReport(const QString &path);
// Saves a surface; on failure shows a message box naming the file and the reason.
bool saveOrReport(const Surface &surface, const QString &path);

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
