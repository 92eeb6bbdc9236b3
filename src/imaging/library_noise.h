#pragma once

#include <mutex>
#include <streambuf>
#include <string>

namespace ombrel {

// Qt's image plugins and the libraries behind them (libpng, libtiff, ...)
// write their own warnings straight to the process's stderr, often for
// pictures that read perfectly well. While a LibraryNoise lives, whatever
// reaches stderr is kept from the terminal instead, and words() says it.
// Every writer of this program's own stderr takes stderrLock() (see
// LockedStderr), so nothing of ours is ever caught with the noise.
class LibraryNoise {
public:
    LibraryNoise();
    ~LibraryNoise();
    LibraryNoise(const LibraryNoise &) = delete;
    LibraryNoise &operator=(const LibraryNoise &) = delete;

    // The last line the libraries said; stderr is the terminal's again from
    // here on.
    std::string words();

private:
    void restore();

    std::unique_lock<std::recursive_mutex> hold_;
    int saved_ = -1;
    int capture_ = -1;
    void *previousHandler_ = nullptr;
    std::string words_;
};

std::recursive_mutex &stderrLock();

// A stream buffer that hands whole flushes to stderr under stderrLock(), for
// the tool's std::cerr.
class LockedStderr : public std::streambuf {
protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char *s, std::streamsize n) override;
    int sync() override;

private:
    std::string pending_;
};

} // namespace ombrel
