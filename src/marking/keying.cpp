// SPDX-License-Identifier: Apache-2.0
#include "marking/keying.h"

#include "marking/key_files.h"
#include "marking/new_key.h"

#include <utility>

namespace ombrel::marking {

std::optional<Keystream> Keying::keystreamFor(const std::string &path) const {
    if (!secret)
        return std::nullopt;
    return std::optional<Keystream>(std::in_place, *secret, imageId(ids, path));
}

Keying keyingFor(const KeyChoice &choice) {
    Keying keying;
    keying.ids = choice.ids;
    switch (choice.source) {
    case KeyChoice::Source::None:
        break;
    case KeyChoice::Source::NewKey:
        makeKey(choice.path);
        [[fallthrough]];
    case KeyChoice::Source::KeyFile:
        keying.secret = readKeyFile(choice.path);
        break;
    case KeyChoice::Source::Passphrase:
        keying.secret = keyFromPassphrase(
            checkedPassphrase(choice.passphrase, choice.confirm ? &choice.again : nullptr));
        break;
    }
    return keying;
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

} // namespace ombrel::marking
