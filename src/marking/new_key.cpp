// SPDX-License-Identifier: Apache-2.0
#include "marking/new_key.h"

#include "imaging/file_replacement.h"

#include <sodium.h>

#include <array>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace ombrel::marking {

void makeKey(const std::string &path) {
    if (sodium_init() < 0)
        throw Refusal(path + ": the system's random source cannot be used");
    std::array<unsigned char, kNewKeyBytes> key{};
    randombytes_buf(key.data(), key.size());

    // O_EXCL: an existing key (or a link planted in its place) is never
    // replaced, so a second key cannot make the marks of the first unverifiable.
    const int fd = createExclusive(path, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        const int error = errno;
        sodium_memzero(key.data(), key.size());
        if (error == EEXIST)
            throw Refusal(path + ": already exists; keygen never replaces a key");
        throw Refusal(path + ": cannot create the key file: " + std::strerror(error));
    }
    // The umask may have taken bits the mode asks for, never given more; set
    // it outright all the same. A key is worth forcing to disk.
    const bool written = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 &&
                         writeAll(fd, {reinterpret_cast<const char *>(key.data()), key.size()}) && ::fsync(fd) == 0;
    const int error = errno;
    sodium_memzero(key.data(), key.size());
    if (::close(fd) != 0 || !written) {
        ::unlink(path.c_str()); // ours: O_EXCL made it
        throw Refusal(path + ": cannot write the key file: " + std::strerror(written ? errno : error));
    }
}

} // namespace ombrel::marking
