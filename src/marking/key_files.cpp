// SPDX-License-Identifier: Apache-2.0
#include "marking/key_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace ombrel::marking {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(Descriptor &&other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

Refusal refusal(const std::string &path, const std::string &reason) { return Refusal(path + ": " + reason); }

std::string modeText(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// Opens a file that holds a secret, as ssh opens a private key: a regular
// file that other users may read or write is refused. A pipe has no such
// mode to keep, and a folder fails when it is read.
Descriptor openPrivate(const std::string &path, const std::string &what) {
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        throw refusal(path, "cannot read the " + what + ": " + std::strerror(errno));
    struct stat st{};
    if (::fstat(file.get(), &st) != 0)
        throw refusal(path, "cannot read the " + what + ": " + std::strerror(errno));
    if (S_ISREG(st.st_mode) && (st.st_mode & (S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH)))
        throw refusal(path, "other users can read or write this " + what + " (mode " + modeText(st.st_mode) +
                                "); chmod 600 " + path + " makes it yours alone");
    return file;
}

// Reads fd into bytes until its end, or until stop says the bytes so far
// are enough; refused past kMaxKeyFileBytes.
template <class Stop>
SecretBytes readSecret(int fd, const std::string &path, const std::string &what, Stop stop) {
    SecretBytes bytes;
    bytes.reserve(256);
    unsigned char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            wipe(chunk, sizeof chunk);
            throw refusal(path, "cannot read the " + what + ": " + std::strerror(error));
        }
        if (got == 0)
            break;
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (stop(bytes))
            break;
        if (bytes.size() > kMaxKeyFileBytes) {
            wipe(chunk, sizeof chunk);
            throw refusal(path, "the " + what + " is larger than 1 MiB; a key is a short secret");
        }
    }
    wipe(chunk, sizeof chunk);
    return bytes;
}

// The bytes before the first line end (LF, or CR LF); the rest is wiped.
void keepFirstLine(SecretBytes &bytes) {
    std::size_t end = 0;
    while (end < bytes.size() && bytes[end] != '\n')
        ++end;
    if (end > 0 && bytes[end - 1] == '\r')
        --end;
    wipe(bytes.data() + end, bytes.size() - end);
    bytes.resize(end);
}

constexpr const char *kNoTerminal = "--passphrase asks on a terminal, and there is none: give --passphrase-file FILE";

// Reads a line from the terminal with its echo off, as passwd does.
SecretBytes typedLine(int tty, const char *prompt) {
    termios before{};
    if (::tcgetattr(tty, &before) != 0)
        throw NoTerminal(kNoTerminal);
    termios quiet = before;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ICANON;
    // The echo goes off before the prompt shows, so nothing typed after it
    // is echoed or thrown away.
    ::tcsetattr(tty, TCSAFLUSH, &quiet);
    (void)::write(tty, prompt, std::strlen(prompt));
    SecretBytes line = readSecret(tty, "the terminal", "passphrase",
                                  [](const SecretBytes &b) { return !b.empty() && b.back() == '\n'; });
    ::tcsetattr(tty, TCSADRAIN, &before);
    (void)::write(tty, "\n", 1);
    keepFirstLine(line);
    return line;
}

SecretBytes checkedKey(SecretBytes key, const std::string &path) {
    if (key.empty())
        throw refusal(path, "the key file is empty; a key needs at least " + std::to_string(kMinKeyBytes) +
                                " bytes");
    if (checkKey(key) == KeyVerdict::TooShort)
        throw refusal(path, "the key file holds " + std::to_string(key.size()) + " bytes; a key needs at least " +
                                std::to_string(kMinKeyBytes));
    return key;
}

} // namespace

SecretBytes readKeyBytes(int fd, const std::string &path) {
    return checkedKey(readSecret(fd, path, "key file", [](const SecretBytes &) { return false; }), path);
}

SecretBytes readKeyFile(const std::string &path) {
    const Descriptor file = openPrivate(path, "key file");
    return readKeyBytes(file.get(), path);
}

SecretBytes readPassphraseLine(int fd, const std::string &path) {
    // Only the first line is wanted: a pipe need not be read to its end.
    SecretBytes line = readSecret(fd, path, "passphrase file", [](const SecretBytes &b) {
        return std::find(b.begin(), b.end(), '\n') != b.end();
    });
    keepFirstLine(line);
    if (line.empty())
        throw refusal(path, "the passphrase file's first line is empty");
    return line;
}

SecretBytes readPassphraseFile(const std::string &path) {
    const Descriptor file = openPrivate(path, "passphrase file");
    return readPassphraseLine(file.get(), path);
}

SecretBytes typedPassphrase(Passphrase ask) {
    const Descriptor tty(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (tty.get() < 0)
        throw NoTerminal(kNoTerminal);
    SecretBytes first = typedLine(tty.get(), "Passphrase: ");
    if (first.empty() || ask == Passphrase::AskOnce)
        return checkedPassphrase(first, nullptr);
    const SecretBytes again = typedLine(tty.get(), "The same passphrase again: ");
    return checkedPassphrase(first, &again);
}

const SecretBytes &checkedPassphrase(const SecretBytes &first, const SecretBytes *again) {
    if (first.empty())
        throw Refusal("the passphrase is empty");
    if (again && *again != first)
        throw Refusal("the two passphrases differ; nothing was marked");
    return first;
}

} // namespace ombrel::marking
