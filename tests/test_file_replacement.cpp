// SPDX-License-Identifier: Apache-2.0
// The one write loop and the one exclusive create every writer here shares
// (keygen's key, the evaluation's rows, the stderr capture), and replacing a
// file whole: links, permissions, and an old file kept when a save fails.
#include "imaging/file_replacement.h"
#include "imaging/picture_in.h"
#include "imaging/picture_out.h"
#include "support/bmp_builder.h"
#include "support/folder.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace ombrel {
namespace {

std::atomic<int> interruptions{0};
void countInterruption(int) { ++interruptions; }

// A megabyte into a pipe that a slow reader empties a little at a time, while
// a timer's signal (no SA_RESTART) keeps breaking into the write: every write
// either stops short or is interrupted, and all of it must still arrive.
TEST(FileWrites, WriteAllGetsEverythingThroughInterruptionsAndShortWrites) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    std::string bytes(1 << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 + i / 251);

    sigset_t alarm;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &alarm, nullptr), 0); // the reader never takes it
    std::string arrived;
    std::thread reader([&] {
        char chunk[4096];
        for (ssize_t n; (n = ::read(ends[0], chunk, sizeof chunk)) != 0;) {
            if (n > 0)
                arrived.append(chunk, static_cast<std::size_t>(n));
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });
    ASSERT_EQ(::pthread_sigmask(SIG_UNBLOCK, &alarm, nullptr), 0);
    struct sigaction action {}, before {};
    action.sa_handler = countInterruption; // no SA_RESTART: write returns early
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(::sigaction(SIGALRM, &action, &before), 0);
    const itimerval every{{0, 200}, {0, 200}}, off{};
    interruptions = 0;
    ::setitimer(ITIMER_REAL, &every, nullptr);

    const bool written = writeAll(ends[1], bytes);
    const int error = errno;

    ::setitimer(ITIMER_REAL, &off, nullptr);
    ::sigaction(SIGALRM, &before, nullptr);
    ::close(ends[1]);
    reader.join();
    ::close(ends[0]);
    EXPECT_TRUE(written) << std::strerror(error);
    EXPECT_GT(interruptions.load(), 0);
    EXPECT_EQ(arrived.size(), bytes.size());
    EXPECT_TRUE(arrived == bytes);
}

TEST(FileWrites, WriteAllSaysWhyItStopped) {
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    errno = 0;
    EXPECT_FALSE(writeAll(full, "a key that has nowhere to go"));
    EXPECT_EQ(errno, ENOSPC);
    ::close(full);
}

// A new file only: whatever stands at the name, even a link to nowhere, is
// left as it is.
TEST(FileWrites, CreateExclusiveMakesOnlyANewFile) {
    test::TempDir dir;
    const std::string existing = dir.write("existing", "kept");
    const std::string link = dir.file("link"), linkTarget = dir.file("nowhere");
    ASSERT_EQ(::symlink(linkTarget.c_str(), link.c_str()), 0);
    const mode_t umaskBefore = ::umask(022);
    struct Row {
        const char *name;
        std::string path;
        mode_t mode;
        int error;       // 0: created
        mode_t modeMade; // with the umask of 022
    };
    const Row rows[] = {
        {"new, owner only", dir.file("key"), 0600, 0, 0600},
        {"new, the umask applied", dir.file("open"), 0666, 0, 0644},
        {"a file already there", existing, 0600, EEXIST, 0},
        {"a link to nowhere", link, 0600, EEXIST, 0},
        {"no such folder", dir.file("missing/key"), 0600, ENOENT, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        errno = 0;
        const int fd = createExclusive(row.path, row.mode);
        if (row.error != 0) {
            EXPECT_EQ(fd, -1);
            EXPECT_EQ(errno, row.error);
            continue;
        }
        ASSERT_GE(fd, 0) << std::strerror(errno);
        EXPECT_TRUE(writeAll(fd, "new"));
        struct stat info {};
        ASSERT_EQ(::fstat(fd, &info), 0);
        EXPECT_EQ(info.st_mode & 07777, row.modeMade);
        EXPECT_EQ(::fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC); // no child inherits a key
        ::close(fd);
        EXPECT_EQ(test::readFile(row.path), "new");
    }
    ::umask(umaskBefore);
    EXPECT_EQ(test::readFile(existing), "kept");
    EXPECT_EQ(::access(linkTarget.c_str(), F_OK), -1);
}

// A save replaces the file a link names and leaves the link; a replaced file
// keeps its permissions and a new one gets what the umask allows; both ways
// of saving leave nothing else in the folder.
TEST(FileReplacement, ReplacingKeepsLinksAndPermissions) {
    namespace fs = std::filesystem;
    test::TempDir dir;
    const Image image = test::randomImage(5, 3, 9);
    const mode_t previous = ::umask(022);
    for (const Durability durability : {Durability::Synced, Durability::Renamed}) {
        const std::string kept = dir.write("kept.bmp", "old"), target = dir.write("target.bmp", "old");
        fs::permissions(kept, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        const fs::path link = dir.path() / "link.bmp";
        fs::create_symlink(target, link);
        const std::string fresh = dir.file("fresh.bmp");
        ASSERT_TRUE(savePictures({{&image, kept}, {&image, link.string()}, {&image, fresh}}, durability));
        EXPECT_EQ(fs::status(kept).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        EXPECT_EQ(fs::status(fresh).permissions(), fs::perms(0644));
        EXPECT_TRUE(fs::is_symlink(link));
        for (const std::string &path : {kept, target, fresh}) {
            const LoadedPicture back = loadBitmap(path);
            ASSERT_TRUE(back.ok()) << path << ": " << back.error().message();
            EXPECT_TRUE(*back == image) << path;
        }
        EXPECT_EQ(test::entriesOf(dir.path()),
                  (std::set<std::string>{"fresh.bmp", "kept.bmp", "link.bmp", "target.bmp"}));
        for (const auto &e : fs::directory_iterator(dir.path()))
            fs::remove(e.path());
    }
    ::umask(previous);
}

TEST(FileReplacement, FailedSaveLeavesTheOldFileWhole) {
    test::TempDir dir;
    const Image image = test::randomImage(8, 8, 1);
    EXPECT_EQ(saveBitmap(image, dir.file("no/such/folder/out.bmp")).error().problem, FileProblem::Unwritable);
    EXPECT_EQ(saveBitmap(image, "").error().problem, FileProblem::NoFileName);
    EXPECT_EQ(saveBitmap(image, dir.path().string()).error().problem, FileProblem::IsFolder);

    // All or nothing: the second file cannot be written, so the first keeps
    // its old content.
    const std::string first = dir.write("first.bmp", "old");
    const auto error = savePictures({{&image, first}, {&image, dir.file("missing/second.bmp")}});
    ASSERT_FALSE(error);
    EXPECT_EQ(error.error().path, dir.file("missing/second.bmp"));
    EXPECT_EQ(error.error().problem, FileProblem::Unwritable);
    EXPECT_EQ(test::readFile(first), "old");
    EXPECT_EQ(test::entriesOf(dir.path()), std::set<std::string>{"first.bmp"})
        << "no temporary file is left behind";
}

// Runs check where folder permissions bind: as root, in a child process that
// has become nobody first. The check's value is the exit status.
int asOrdinaryUser(const std::function<int()> &check) {
    if (geteuid() != 0)
        return check();
    const test::Ending end = test::Child::copy([&] {
                                 if (setgid(65534) != 0 || setuid(65534) != 0)
                                     return 100;
                                 return check();
                             }).wait();
    return end.exited ? end.status : 101;
}

// A writable file in a folder that refuses new files (a shared folder, a
// copy in someone else's folder) is replaced in place; a new file there is
// still refused.
TEST(FileReplacement, WritableFileInALockedFolderIsReplacedInPlace) {
    test::TempDir dir;
    namespace fs = std::filesystem;
    const Image image = test::randomImage(8, 8, 2);
    const fs::path locked = dir.path() / "locked";
    fs::create_directory(locked);
    const std::string mine = (locked / "mine.bmp").string();
    // Longer than the new picture, so a write that does not truncate shows.
    {
        std::ofstream old(mine, std::ios::binary);
        old << std::string(4096, 'x');
    }
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(mine, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::group_write | fs::perms::others_read | fs::perms::others_write);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    const int outcome = asOrdinaryUser([&] {
        int failures = 0;
        if (!saveBitmap(image, mine))
            failures |= 1;
        const auto fresh = saveBitmap(image, (locked / "new.bmp").string());
        if (fresh || fresh.error().problem != FileProblem::Unwritable)
            failures |= 2;
        return failures;
    });
    fs::permissions(locked, fs::perms::owner_all, fs::perm_options::add);
    ASSERT_NE(outcome, 100) << "could not give up root";
    EXPECT_EQ(outcome & 1, 0) << "the writable file was not replaced";
    EXPECT_EQ(outcome & 2, 0) << "a new file in the locked folder was not refused";
    const LoadedPicture back = loadBitmap(mine);
    ASSERT_TRUE(back.ok()) << back.error().message();
    EXPECT_TRUE(*back == image);
    EXPECT_EQ(test::entriesOf(locked), std::set<std::string>{"mine.bmp"})
        << "nothing else is left in the folder";
}

} // namespace
} // namespace ombrel
