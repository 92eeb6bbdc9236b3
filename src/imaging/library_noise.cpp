#include "imaging/library_noise.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>

namespace ombrel {

namespace {

// Qt's own messages (qt.gui.imageio: libpng warning: ...) go where the
// libraries' go, whatever Qt would otherwise do with them.
void toStderr(QtMsgType, const QMessageLogContext &context, const QString &message) {
    const QByteArray line = (context.category && std::string_view(context.category) != "default"
                                 ? QByteArray(context.category) + ": "
                                 : QByteArray()) +
                            message.toLocal8Bit() + "\n";
    (void)!::write(STDERR_FILENO, line.constData(), static_cast<std::size_t>(line.size()));
}

void writeAll(int fd, const char *data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0)
            return;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

} // namespace

std::recursive_mutex &stderrLock() {
    static std::recursive_mutex lock;
    return lock;
}

LibraryNoise::LibraryNoise() : hold_(stderrLock()) {
    std::fflush(stderr);
    capture_ = ::memfd_create("ombrel-library-noise", MFD_CLOEXEC);
    saved_ = capture_ >= 0 ? ::dup(STDERR_FILENO) : -1;
    if (saved_ < 0 || ::dup2(capture_, STDERR_FILENO) < 0) {
        if (saved_ >= 0)
            ::close(saved_);
        if (capture_ >= 0)
            ::close(capture_);
        saved_ = capture_ = -1; // nowhere to keep it: the noise gets through
        return;
    }
    previousHandler_ = reinterpret_cast<void *>(qInstallMessageHandler(toStderr));
}

LibraryNoise::~LibraryNoise() { restore(); }

void LibraryNoise::restore() {
    if (capture_ < 0)
        return;
    std::fflush(stderr);
    qInstallMessageHandler(reinterpret_cast<QtMessageHandler>(previousHandler_));
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    std::string said;
    char buffer[4096];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(capture_, buffer, sizeof buffer, at);
        if (n <= 0)
            break;
        said.append(buffer, static_cast<std::size_t>(n));
        at += n;
    }
    ::close(capture_);
    capture_ = saved_ = -1;
    // The last thing said is what gave up; Qt's category is left out.
    for (std::size_t start = 0; start < said.size();) {
        std::size_t end = said.find('\n', start);
        if (end == std::string::npos)
            end = said.size();
        std::string line = said.substr(start, end - start);
        if (line.rfind("qt.gui.imageio: ", 0) == 0)
            line.erase(0, 16);
        if (!line.empty())
            words_ = line;
        start = end + 1;
    }
}

std::string LibraryNoise::words() {
    restore();
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
    const std::lock_guard hold(stderrLock());
    writeAll(STDERR_FILENO, pending_.data(), pending_.size());
    pending_.clear();
    return 0;
}

} // namespace ombrel
