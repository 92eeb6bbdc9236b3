// SPDX-License-Identifier: Apache-2.0
// The one write loop and the one exclusive create every writer here shares:
// keygen's key, the evaluation's rows, the stderr capture, the replacements.
#include "imaging/file_replacement.h"
#include "support/folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
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

} // namespace
} // namespace ombrel
