// Runs a piece of the tool in a forked child process with real standard
// streams: standard input fed from a pipe, standard output and standard
// error collected. For code whose behaviour lies in how it uses the real
// streams (the wait after a fatal message, the key read).
#pragma once

#include <cerrno>
#include <cstdio>
#include <functional>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "support/test_support.h"

namespace zorbel::test {

// body's result is the child's exit status.
inline ProcessResult run_in_child(const std::string& stdin_text, const std::function<int()>& body) {
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (::pipe(in_pipe) || ::pipe(out_pipe) || ::pipe(err_pipe)) throw std::runtime_error("pipe");
    // Nothing the parent buffered may be written a second time by the child.
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        ::dup2(in_pipe[0], 0);
        ::dup2(out_pipe[1], 1);
        ::dup2(err_pipe[1], 2);
        for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) ::close(fd);
        int status = body();
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(status);
    }
    ::close(in_pipe[0]);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    // Test inputs are small enough for the pipe buffer.
    if (!stdin_text.empty() &&
        ::write(in_pipe[1], stdin_text.data(), stdin_text.size()) != static_cast<ssize_t>(stdin_text.size())) {
        throw std::runtime_error("short write to child");
    }
    ::close(in_pipe[1]);
    ProcessResult result;
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    for (int open_count = 2; open_count > 0;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buf[4096];
            const ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
            if (got > 0) {
                (i == 0 ? result.out : result.err).append(buf, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

}  // namespace zorbel::test
