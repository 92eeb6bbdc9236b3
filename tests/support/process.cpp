// SPDX-License-Identifier: Apache-2.0
#include "support/process.h"

#include "support/folder.h"

#include "imaging/file_replacement.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace ombrel::test {

namespace {

// In the child: becomes the program, or exits 127 if it cannot be run.
[[noreturn]] void execute(const std::string &program, const std::vector<std::string> &args) {
    std::vector<char *> argv{const_cast<char *>("ombrel")};
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

void redirect(FILE *stream, const std::string &path) {
    if (!std::freopen(path.empty() ? "/dev/null" : path.c_str(), "w", stream))
        _exit(126);
}

} // namespace

Child Child::copy(const std::function<int()> &body) {
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("cannot fork");
    if (pid == 0)
        _exit(body());
    return Child(pid, -1);
}

Child Child::start(const std::string &program, const std::vector<std::string> &args,
                   const std::string &outPath, const std::string &errPath) {
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("cannot fork");
    if (pid == 0) {
        redirect(stdout, outPath);
        redirect(stderr, errPath);
        execute(program, args);
    }
    return Child(pid, -1);
}

Child Child::onTerminal(const std::string &program, const std::vector<std::string> &args,
                        const std::string &outPath) {
    // Raw, so what the program writes arrives byte for byte ("\n" stays "\n").
    termios raw{};
    cfmakeraw(&raw);
    int controller = -1, terminal = -1;
    if (openpty(&controller, &terminal, nullptr, &raw, nullptr) != 0)
        throw std::runtime_error("cannot open a terminal");
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("cannot fork");
    if (pid == 0) {
        close(controller);
        redirect(stdout, outPath);
        if (dup2(terminal, STDERR_FILENO) < 0)
            _exit(126);
        close(terminal);
        execute(program, args);
    }
    close(terminal);
    fcntl(controller, F_SETFD, FD_CLOEXEC);
    return Child(pid, controller);
}

Child Child::behindTerminal(const std::string &program, const std::vector<std::string> &args,
                            const std::string &outPath, const std::string &errPath) {
    int controller = -1, terminal = -1;
    if (openpty(&controller, &terminal, nullptr, nullptr, nullptr) != 0)
        throw std::runtime_error("cannot open a terminal");
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("cannot fork");
    if (pid == 0) {
        close(controller);
        if (setsid() < 0 || ioctl(terminal, TIOCSCTTY, 0) != 0 || dup2(terminal, STDIN_FILENO) < 0)
            _exit(126);
        close(terminal);
        redirect(stdout, outPath);
        redirect(stderr, errPath);
        execute(program, args);
    }
    close(terminal);
    fcntl(controller, F_SETFD, FD_CLOEXEC);
    return Child(pid, controller);
}

void Child::type(const std::string &text) const {
    if (!writeAll(terminal_, text))
        throw std::runtime_error("cannot type at the terminal");
}

Child::Child(Child &&other) noexcept
    : pid_(std::exchange(other.pid_, -1)), terminal_(std::exchange(other.terminal_, -1)),
      screen_(std::move(other.screen_)) {}

Child::~Child() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        wait();
    }
    if (terminal_ >= 0)
        close(terminal_);
}

void Child::signal(int number) const { kill(pid_, number); }

// Takes what the terminal holds, waiting up to timeoutMs for something to
// come; false once the program has closed it.
bool Child::readTerminal(int timeoutMs) {
    pollfd p{terminal_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0)
        return true;
    char buffer[4096];
    const ssize_t n = read(terminal_, buffer, sizeof buffer);
    if (n <= 0) // EIO: every copy of the other side is closed
        return false;
    screen_.append(buffer, static_cast<std::size_t>(n));
    return true;
}

bool Child::waitToShow(const std::string &text, std::chrono::milliseconds deadline) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (screen_.find(text) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !readTerminal(static_cast<int>(std::min<long long>(left.count(), 100))))
            return screen_.find(text) != std::string::npos;
    }
    return true;
}

Ending Child::wait() {
    // Keep reading, or a program with much to say would block on a full terminal.
    if (terminal_ >= 0)
        while (readTerminal(100)) {
        }
    int status = 0;
    pid_t got;
    while ((got = waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    if (got < 0)
        return {};
    if (WIFEXITED(status))
        return {true, WEXITSTATUS(status)};
    return {false, WIFSIGNALED(status) ? WTERMSIG(status) : -1};
}

bool waitUntil(const std::function<bool()> &condition, std::chrono::milliseconds deadline) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        usleep(5000);
    }
    return true;
}

RunResult runProgram(const std::string &program, const std::vector<std::string> &args) {
    TempDir streams;
    const std::string outPath = streams.file("out"), errPath = streams.file("err");
    const Ending end = Child::start(program, args, outPath, errPath).wait();
    if (!end.exited)
        return {-1, "", "did not run to its end"};
    return {end.status, readFile(outPath), readFile(errPath)};
}

} // namespace ombrel::test
