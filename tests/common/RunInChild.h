// Runs a piece of a test in a child process with a deadline, so that code that
// may never end (a script that loops) fails the test instead of hanging it.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>

namespace testutil {

// The child's exit code (128 + the signal that ended it), or -1 when it was
// still running after `seconds` and was killed.
inline int RunInChild(const std::function<int()>& body, int seconds) {
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    if (pid < 0) return 100;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
        usleep(1000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

}  // namespace testutil
