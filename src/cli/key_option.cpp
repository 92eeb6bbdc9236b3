#include "cli/key_option.h"

#include "cli/options.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

namespace ombrel::cli {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

Refusal keyRefusal(const std::string &path, const std::string &reason) {
    return Refusal(path + ": " + reason);
}

} // namespace

MarkKey readKeyFile(const std::string &path, std::string id) {
    // A pipe (--key-file <(...)) is a fine source; a folder fails at read.
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        throw keyRefusal(path, std::string("cannot read the key file: ") + std::strerror(errno));
    MarkKey key{{}, std::move(id)};
    unsigned char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(file.get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw keyRefusal(path, std::string("cannot read the key file: ") + std::strerror(errno));
        if (got == 0)
            break;
        key.secret.insert(key.secret.end(), chunk, chunk + got);
        if (key.secret.size() > kMaxKeyFileBytes)
            throw keyRefusal(path, "the key file is larger than 1 MiB; a key is a short secret");
    }
    if (key.secret.empty())
        throw keyRefusal(path, "the key file is empty; a key needs at least " +
                                   std::to_string(kMinKeyBytes) + " bytes");
    if (checkKey(key) == KeyVerdict::TooShort)
        throw keyRefusal(path, "the key file holds " + std::to_string(key.secret.size()) +
                                   " bytes; a key needs at least " + std::to_string(kMinKeyBytes));
    return key;
}

std::optional<MarkKey> keyOption(const Parsed &p) {
    const auto path = option(p, options::kKeyFile.name);
    auto id = option(p, options::kId.name);
    if (!path) {
        if (id)
            throw UsageError("--id needs --key-file");
        return std::nullopt;
    }
    return readKeyFile(*path, id.value_or(""));
}

HashedPicture::HashedPicture(const Keystream *key, const std::function<Surface()> &read) {
    if (key)
        hashes_.emplace(*key);
    picture = read();
    if (hashes_)
        hashes_->start(picture.image());
}

Surface unkeyed(const Surface &image, BlockHashes &hashes) {
    Image pixels = image.image();
    hashes.applyTo(pixels);
    return Surface(std::move(pixels));
}

Surface unkeyed(const Surface &image, const Keystream &key) {
    BlockHashes hashes(key, image.image());
    return unkeyed(image, hashes);
}

std::optional<Keystream> keystreamOption(const Parsed &p) {
    const auto key = keyOption(p);
    if (!key)
        return std::nullopt;
    return std::optional<Keystream>(std::in_place, *key);
}

std::string batchId(const std::string &path) { return std::filesystem::path(path).stem().string(); }

std::optional<Keystream> batchKeystream(const std::optional<MarkKey> &key, bool idGiven,
                                        const std::string &path) {
    if (!key)
        return std::nullopt;
    return Keystream(MarkKey{key->secret, idGiven ? key->id : batchId(path)});
}

} // namespace ombrel::cli
