// SPDX-License-Identifier: Apache-2.0
#include "imaging/library_noise.h"

#include "imaging/file_replacement.h"
#include "imaging/picture_in.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace ombrel {

namespace {

// Qt's own messages (qt.gui.imageio: libpng warning: ...) go where the
// libraries' go, whatever Qt would otherwise do with them.
void toStderr(QtMsgType, const QMessageLogContext &context, const QString &message) {
    const QByteArray line = (context.category && std::string_view(context.category) != "default"
                                 ? QByteArray(context.category) + ": "
                                 : QByteArray()) +
                            message.toLocal8Bit() + "\n";
    (void)writeAll(STDERR_FILENO, {line.constData(), static_cast<std::size_t>(line.size())});
}

// Off until the program asks: a library leaves its host's stderr and Qt's
// message handler alone.
std::atomic<bool> asked{false};

// stderr turned into a memory file while anyone reads a picture: made by
// the first reader, undone by the last.
struct Redirection {
    std::mutex lock;
    int readers = 0;
    int saved = -1, capture = -1;
    QtMessageHandler previous = nullptr;

    long long size() const {
        struct stat info {};
        return capture >= 0 && ::fstat(capture, &info) == 0 ? info.st_size : 0;
    }
};

Redirection &redirection() {
    static Redirection r;
    return r;
}

thread_local int depth = 0; // LibraryNoises alive on this thread

// The last non-empty line of what was kept, Qt's category left out.
std::string lastLine(const std::string &said) {
    std::string last;
    for (std::size_t start = 0; start < said.size();) {
        std::size_t end = said.find('\n', start);
        if (end == std::string::npos)
            end = said.size();
        std::string line = said.substr(start, end - start);
        if (line.rfind("qt.gui.imageio: ", 0) == 0)
            line.erase(0, 16);
        if (!line.empty())
            last = line;
        start = end + 1;
    }
    return last;
}

} // namespace

std::shared_mutex &stderrLock() {
    static std::shared_mutex lock;
    return lock;
}

void keepLibraryNoiseOffStderr(bool keep) { asked.store(keep); }

LibraryNoise::LibraryNoise() {
    // Decided once, so a change of mind mid-read cannot undo half of it.
    if (!asked.load()) {
        live_ = false;
        return;
    }
    if (depth++ == 0) {
        stderrLock().lock_shared();
        held_ = true;
    }
    Redirection &r = redirection();
    const std::lock_guard hold(r.lock);
    if (r.readers == 0) {
        std::fflush(stderr);
        r.capture = ::memfd_create("ombrel-library-noise", MFD_CLOEXEC);
        r.saved = r.capture >= 0 ? ::dup(STDERR_FILENO) : -1;
        if (r.saved < 0 || ::dup2(r.capture, STDERR_FILENO) < 0) {
            if (r.saved >= 0)
                ::close(r.saved);
            if (r.capture >= 0)
                ::close(r.capture);
            r.saved = r.capture = -1;
            return; // nowhere to keep it: the noise gets through
        }
        r.previous = qInstallMessageHandler(toStderr);
    }
    ++r.readers;
    counted_ = true;
    from_ = r.size();
}

LibraryNoise::~LibraryNoise() { finish(); }

void LibraryNoise::finish() {
    if (!live_)
        return;
    live_ = false;
    if (counted_) {
        Redirection &r = redirection();
        const std::lock_guard hold(r.lock);
        std::fflush(stderr);
        const long long to = r.size();
        std::string said(static_cast<std::size_t>(to - from_), '\0');
        if (!said.empty() && ::pread(r.capture, said.data(), said.size(), from_) < 0)
            said.clear();
        words_ = lastLine(said);
        if (--r.readers == 0) {
            qInstallMessageHandler(r.previous);
            ::dup2(r.saved, STDERR_FILENO);
            ::close(r.saved);
            ::close(r.capture);
            r.saved = r.capture = -1;
        }
    }
    --depth;
    if (held_)
        stderrLock().unlock_shared();
}

std::string LibraryNoise::words() {
    finish();
    return words_;
}

LockedStderr::int_type LockedStderr::overflow(int_type c) {
    if (c != traits_type::eof())
        pending_ += static_cast<char>(c);
    return c;
}

std::streamsize LockedStderr::xsputn(const char *s, std::streamsize n) {
    pending_.append(s, static_cast<std::size_t>(n));
    return n;
}

int LockedStderr::sync() {
    const std::unique_lock hold(stderrLock());
    (void)writeAll(STDERR_FILENO, pending_);
    pending_.clear();
    return 0;
}

} // namespace ombrel
