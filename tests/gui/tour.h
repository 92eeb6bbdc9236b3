// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace ombrel::test {

class GuiRun;

// The shown top-level window of that name, as a user or an accessibility
// tool finds it; throws when there is none.
QWidget &shownWindow(const char *name);
// Clicks a button of a window and returns the window that it shows.
QWidget &press(QWidget &window, const char *button, const char *opens);

// Called at every window a user sees, with the window shown and its texts as
// the program set them.
using TourStop = std::function<void(QWidget &window)>;

// From a fresh start to the embedding's result screen, with cover.bmp and
// watermark.bmp from the home folder; the run's dialogs must answer the
// threshold and the save. Returns the result screen.
QWidget &embedFromStart(GuiRun &run, const TourStop &stop);

// Walks a fresh run of the program the way a user does: the sample cover
// chosen on the main window, through the embedding wizard with the sample
// watermark to its result, the progress window as it shows during the
// embedding, the About window, then through the extraction wizard with the
// watermarked image.
// home: an empty folder to stand for c:, or a fresh temporary one.
void tourWindows(const QString &samplesFolder, const TourStop &stop, const QString &home = {});

// The key screen as "Seal with a key..." opens it on the embedding screen,
// with a key just made in the home folder and an id typed: a walk of its
// own, after tourWindows (whose walk keeps to the original windows).
void tourKeyScreen(const QString &samplesFolder, const TourStop &stop, const QString &home = {});

// The check of a picture, the way a user does it: the sample cover marked
// through the embedding wizard, a region of the copy painted over, the copy
// chosen on the main window and checked against the sample watermark.
// Stops at the check window with its verdict and map shown.
void tourCheck(const QString &samplesFolder, const TourStop &stop, const QString &home = {});

} // namespace ombrel::test
