// SPDX-License-Identifier: Apache-2.0
#include "imaging/file_replacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace ombrel {

namespace {

// The file a name stands for: a symbolic link's target, relative to the
// link's own folder.
std::string replacedFile(const std::string &path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path name = fs::absolute(path, ec);
    if (ec || !fs::is_symlink(name, ec))
        return ec ? path : name.string();
    const fs::path target = fs::read_symlink(name, ec);
    if (ec)
        return name.string();
    return (target.is_absolute() ? target : name.parent_path() / target).lexically_normal().string();
}

} // namespace

FileReplacement::FileReplacement(const std::string &path) : target_(replacedFile(path)) {}

bool FileReplacement::openTemporary() {
    struct stat existing {};
    const bool replacing = ::stat(target_.c_str(), &existing) == 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ = target_ + "." + std::to_string(::getpid()) + "-" + std::to_string(counter_++) + ".part";
        const int fd = createExclusive(temporary_, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0) {
            temporary_.clear();
            return failed();
        }
        if (replacing)
            (void)::fchmod(fd, existing.st_mode & 07777);
        fd_ = fd;
        return true;
    }
    temporary_.clear();
    return failed();
}

bool FileReplacement::openInPlace() {
    temporary_.clear();
    fd_ = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    return fd_ >= 0 || failed();
}

bool FileReplacement::targetWritable() const {
    struct stat info {};
    return ::stat(target_.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(target_.c_str(), W_OK) == 0;
}

bool FileReplacement::write(std::string_view bytes) { return writeAll(fd_, bytes) || failed(); }

bool FileReplacement::commit(Durability durability) {
    bool ok = true;
    if (durability == Durability::Synced && ::fdatasync(fd_) != 0)
        ok = failed();
    if (::close(fd_) != 0 && ok)
        ok = failed();
    fd_ = -1;
    if (ok && !temporary_.empty() && ::rename(temporary_.c_str(), target_.c_str()) != 0)
        ok = failed();
    if (ok)
        temporary_.clear();
    else
        cancel();
    return ok;
}

void FileReplacement::cancel() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
}

bool FileReplacement::failed() {
    error_ = std::strerror(errno);
    return false;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) { // nothing taken and no reason given: it would never end
            errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

int createExclusive(const std::string &path, mode_t mode) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
}

Result<void, FileError> replaceFile(const std::string &path, std::string_view bytes,
                                    Durability durability) {
    if (path.empty())
        return FileError{path, FileProblem::NoFileName};
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return FileError{path, FileProblem::IsFolder};
    FileReplacement file(path);
    if (!file.openTemporary() && !(file.targetWritable() && file.openInPlace()))
        return FileError{path, FileProblem::Unwritable, file.error()};
    if (!file.write(bytes) || !file.commit(durability))
        return FileError{path, FileProblem::Unwritable, file.error()};
    return {};
}

} // namespace ombrel
