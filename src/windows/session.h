// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/surface.h"
#include "text/file_names.h"

#include <QString>

#include <memory>
#include <optional>

namespace ombrel {
class EmbeddingPipeline;
class ExtractionPipeline;
} // namespace ombrel

namespace ombrel::windows {

// The files the pipelines write in the home folder and the result screens
// read back to show.
namespace fixed_files {
using text::file_names::kExtracted;
using text::file_names::kFirstPicture;
using text::file_names::kSecondPicture;
using text::file_names::kWatermarked;
// Where one of them lives.
QString path(const char *name);
} // namespace fixed_files

// The four pixel buffers the screens hand images through. They live from
// their first use to the end of the run and are never shown.
class PixelBuffers {
public:
    Surface &piccover();   // frmcover.piccover: the cover, later the watermarked image
    Surface &picwater();   // frmwater.picwater: the watermark
    Surface &picwavelet(); // frmwav.picwavelet: the coefficient pictures
    Surface &decwater();   // frmdecwater.picwater: the extracted watermark

private:
    std::optional<Surface> cover_, water_, wavelet_, decwater_;
};

// What one run of the program keeps, whichever windows are loaded: the
// choices made on the screens, the pixel buffers and both pipelines with
// their matrices. Screens hand things to each other only through here.
// The program's start makes one and hands it to the registry, which gives
// it to each screen that takes one; a test run makes its own.
class Session {
public:
    // The picture clicked on the main window and what "Load image" made of it;
    // the main window's load handler forgets them.
    struct Cover {
        QString path;
        int width = 0;
        int height = 0;
        bool accepted = false;
    };
    // The watermark chooser's pick; it outlives the chooser, so a reopened
    // chooser's "Next" still knows it.
    struct Watermark {
        QString path;
        int width = 0;
        int height = 0;
        bool grey = false;
        bool sizeOk = false;
    };
    // Where the main window browses; the watermark chooser opens there.
    struct Place {
        QString drive;
        QString folder;
    };

    // Where the key screen's key file lives and the id given there, for this
    // run alone: never the key itself, and never in the settings.
    struct KeyPlace {
        QString file;
        QString id;
    };

    Cover cover;
    Watermark watermark;
    Place browsing;
    KeyPlace key;
    PixelBuffers buffers;

    // Created at first use; every run overwrites the entries it uses.
    EmbeddingPipeline &embedding();
    ExtractionPipeline &extraction();

    Session();
    ~Session();
    // The screens hold on to this one; a copy would split the run in two.
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

private:
    std::unique_ptr<EmbeddingPipeline> embedding_;
    std::unique_ptr<ExtractionPipeline> extraction_;
};

} // namespace ombrel::windows
