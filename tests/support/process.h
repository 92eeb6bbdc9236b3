// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace ombrel::test {

// A command's exit status and what it wrote.
struct RunResult {
    int code;
    std::string out, err;
};

// How a child process ended.
struct Ending {
    bool exited = false; // false: ended by a signal
    int status = -1;     // the exit status, or the signal's number
};

// A process of the test's own. One still running when the test lets go of it
// is killed, so a failed check never leaves a process behind.
class Child {
public:
    // A forked copy of this test that runs body and exits with what it returns.
    static Child copy(const std::function<int()> &body);
    // The program with args; its output and errors into the files named.
    static Child start(const std::string &program, const std::vector<std::string> &args,
                       const std::string &outPath, const std::string &errPath);
    // The program with its errors on a terminal of the test's own, the way a
    // person sees them (with the progress a terminal gets); output into outPath.
    static Child onTerminal(const std::string &program, const std::vector<std::string> &args,
                            const std::string &outPath);

    // The program in a session of its own whose controlling terminal is the
    // test's, as a person's shell gives it (a prompt read from /dev/tty);
    // output and errors into the files named.
    static Child behindTerminal(const std::string &program, const std::vector<std::string> &args,
                                const std::string &outPath, const std::string &errPath);

    Child(Child &&other) noexcept;
    Child &operator=(Child &&) = delete;
    ~Child();

    void signal(int number) const;
    // Reads the terminal until it has shown text; false if the deadline came
    // first or the program ended without showing it.
    bool waitToShow(const std::string &text, std::chrono::milliseconds deadline);
    // Everything the terminal has shown so far.
    const std::string &screen() const { return screen_; }
    // Types text at the terminal, as a person at its keyboard would.
    void type(const std::string &text) const;
    Ending wait();

private:
    Child(pid_t pid, int terminal) : pid_(pid), terminal_(terminal) {}
    bool readTerminal(int timeoutMs);

    pid_t pid_;
    int terminal_; // the terminal's controlling side, or -1
    std::string screen_;
};

// Checks condition every few milliseconds until it holds (true) or the
// deadline passes (false): a test waits for what it needs, never a fixed time.
bool waitUntil(const std::function<bool()> &condition, std::chrono::milliseconds deadline);

// The program run to its end in a process of its own; a program that did not
// exit gets code -1.
RunResult runProgram(const std::string &program, const std::vector<std::string> &args);

} // namespace ombrel::test
