// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <cstddef>
#include <shared_mutex>
#include <streambuf>
#include <string>

namespace ombrel {

// Qt's image plugins and the libraries behind them (libpng, libtiff, ...)
// write their own warnings straight to the process's stderr, often for
// pictures that read perfectly well. Once the program has asked with
// keepLibraryNoiseOffStderr() (picture_in.h), whatever reaches stderr while
// any LibraryNoise lives is kept from the terminal instead, and words() says
// the last of it; until then a LibraryNoise does nothing and says nothing. Pictures on several threads read at once; this program's own
// writes to stderr (see LockedStderr) wait until none is being read, so
// nothing of ours is ever caught with the noise.
class LibraryNoise {
public:
    LibraryNoise();
    ~LibraryNoise();
    LibraryNoise(const LibraryNoise &) = delete;
    LibraryNoise &operator=(const LibraryNoise &) = delete;

    // The last line the libraries said while this one lived (on a busy run,
    // possibly about a picture read beside it); from here on this one keeps
    // nothing more.
    std::string words();

private:
    void finish();

    bool live_ = true;
    bool held_ = false;    // the first of this thread's, holding the lock
    bool counted_ = false; // counted among the readers of the redirection
    long long from_ = 0;  // where the kept noise stood when this one began
    std::string words_;
};

// Shared by the pictures being read, taken alone by this program's own writes.
std::shared_mutex &stderrLock();

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
