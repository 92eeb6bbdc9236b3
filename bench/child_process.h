// SPDX-License-Identifier: Apache-2.0
#pragma once

// A program run to its end with its output thrown away, as the benchmarks
// time the tool: how long it took and what it used.

#include <chrono>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ombrel::bench {

struct ChildRun {
    double ms = 0;      // wall clock
    rusage usage{};     // processor time and peak memory
    bool ok = false;    // exited with status 0
};

inline ChildRun runQuietly(const std::vector<std::string> &args) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        std::vector<char *> argv;
        for (const auto &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ChildRun run;
    int status = 0;
    wait4(pid, &status, 0, &run.usage);
    run.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

} // namespace ombrel::bench
