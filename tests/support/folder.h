// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace ombrel::test {

// A scratch folder removed at the end of the test, even one a test has
// taken the permissions from.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return path_; }
    std::string file(const std::string &name) const { return (path_ / name).string(); }
    std::string write(const std::string &name, const std::string &bytes) const;
    // The same, readable and writable by its owner alone, as a key file must be.
    std::string writePrivate(const std::string &name, const std::string &bytes) const;

private:
    std::filesystem::path path_;
};

std::string readFile(const std::string &path);
// The lines of a text, without their newlines.
std::vector<std::string> linesOf(const std::string &text);

// The names a folder holds, sorted, so a test can say exactly what a run
// left there: files a write forgot to clean up show as names too.
std::set<std::string> entriesOf(const std::filesystem::path &folder);

} // namespace ombrel::test
