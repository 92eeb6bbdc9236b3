// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "imaging/file_error.h"
#include "imaging/result.h"

#include <sys/types.h>

#include <atomic>
#include <string>
#include <string_view>

namespace ombrel {

// Whether a save waits for its data to reach the disk before it renames.
enum class Durability {
    Synced,  // a save a person asked for: forced to disk, then renamed
    Renamed, // a batch tool's save (as sed -i or sort -o): written and renamed;
             // the system writes it out, and a power cut may still lose it
};

// The one way this program replaces a file: written beside its target and
// renamed over it, so the target is never half-written; or, where the folder
// refuses new files but the target may itself be written, the target
// rewritten in place. A symbolic link stays and the file it names is
// replaced; a replaced file keeps its permissions.
class FileReplacement {
public:
    explicit FileReplacement(const std::string &path);
    FileReplacement(const FileReplacement &) = delete;
    FileReplacement &operator=(const FileReplacement &) = delete;
    ~FileReplacement() { cancel(); }

    // A new temporary beside the target, with the target's permissions, or
    // those a new file gets; false when the folder refuses it.
    bool openTemporary();
    // The target itself, emptied: for when the folder refused a temporary.
    bool openInPlace();
    bool targetWritable() const;

    // The open file, for a writer of its own; or write the bytes here.
    int fd() const { return fd_; }
    bool write(std::string_view bytes);

    // Forces the data to disk when asked, closes, and renames over the target.
    bool commit(Durability durability);
    // Removes the temporary; a file rewritten in place stays as written.
    void cancel();

    // Why the last step failed, in the system's words.
    const std::string &error() const { return error_; }

private:
    bool failed();

    static inline std::atomic<unsigned> counter_{0};
    std::string target_, temporary_;
    int fd_ = -1;
    std::string error_;
};

// Writes all of bytes to fd: a write a signal interrupts is made again, a
// short one goes on where it stopped. False, with errno saying why, when the
// system refused the rest.
bool writeAll(int fd, std::string_view bytes);

// A new file at path, opened for writing, that nothing stood at before (nor
// a symbolic link: it is not followed); mode as open(2) takes it, the umask
// applied. The descriptor, or -1 with errno (EEXIST: something is there).
int createExclusive(const std::string &path, mode_t mode);

// Writes bytes over path through a FileReplacement, falling back to the
// target in place; an Unwritable error with the reason when it could not.
Result<void, FileError> replaceFile(const std::string &path, std::string_view bytes,
                                    Durability durability);

} // namespace ombrel
