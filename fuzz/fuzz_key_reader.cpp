// SPDX-License-Identifier: Apache-2.0
// The key-file and passphrase-file readers fed arbitrary bytes, through a
// descriptor as the tool reads them: the first byte picks the reader. The
// passphrase's Argon2id stays out: at a second a run it would starve the
// search.

#include "cli/key_option.h"

#include <cstddef>
#include <cstdint>

#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return 0;
    const int fd = ::memfd_create("fuzz-key", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    const bool passphrase = data[0] & 1;
    for (std::size_t done = 1; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    ::lseek(fd, 0, SEEK_SET);
    try {
        const ombrel::SecretBytes bytes = passphrase ? ombrel::cli::readPassphraseLine(fd, "fuzz.txt")
                                                     : ombrel::cli::readKeyBytes(fd, "fuzz.key");
        // What a reader gives is a usable secret, never more than the file held.
        if (bytes.empty() || bytes.size() >= size || (!passphrase && bytes.size() < ombrel::kMinKeyBytes))
            __builtin_trap();
        for (const std::uint8_t b : bytes)
            if (passphrase && (b == '\n'))
                __builtin_trap();
    } catch (const ombrel::cli::Refusal &) {
    }
    ::close(fd);
    return 0;
}
