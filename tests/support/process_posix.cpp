// Test support on POSIX: scratch-directory permissions and child processes
// made with fork and exec.
#include "support/test_support.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zorbel::test {

void restrict_to_owner(const std::string& path) { ::chmod(path.c_str(), 0700); }

void open_up_for_removal(const std::string& path) {
    std::error_code ec;
    // Tests may leave read-only directories behind; open them up first.
    for (auto it = std::filesystem::recursive_directory_iterator(
             path, std::filesystem::directory_options::skip_permission_denied, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec)) ::chmod(it->path().c_str(), 0700);
    }
    ::chmod(path.c_str(), 0700);
}

bool file_exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

ProcessResult run_child(const std::string& stdin_text, const std::function<void()>& in_child) {
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (::pipe(in_pipe) || ::pipe(out_pipe) || ::pipe(err_pipe)) throw std::runtime_error("pipe");
    // Nothing the parent buffered may be written a second time by the child.
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        ::dup2(in_pipe[0], 0);
        ::dup2(out_pipe[1], 1);
        ::dup2(err_pipe[1], 2);
        for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) ::close(fd);
        in_child();
        ::_exit(127);
    }
    ::close(in_pipe[0]);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    // Small inputs fit in the pipe buffer; write all, then close.
    std::size_t written = 0;
    while (written < stdin_text.size()) {
        ssize_t put = ::write(in_pipe[1], stdin_text.data() + written, stdin_text.size() - written);
        if (put <= 0) break;
        written += static_cast<std::size_t>(put);
    }
    ::close(in_pipe[1]);
    ProcessResult result;
    // Read both pipes without blocking one on the other.
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    int open_count = 2;
    while (open_count > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buf[65536];
            ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
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

ProcessResult run_zorbel(const std::vector<std::string>& args, const std::string& cwd,
                         const std::string& stdin_text) {
    return run_program(zorbel_binary(), args, cwd, stdin_text);
}

ProcessResult run_program(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                          const std::string& stdin_text) {
    return run_child(stdin_text, [&] {
        if (::chdir(cwd.c_str()) != 0) ::_exit(126);
        std::vector<char*> argv;
        std::string binary = program;
        argv.push_back(binary.data());
        std::vector<std::string> copies(args);
        for (auto& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(binary.c_str(), argv.data());
    });
}

}  // namespace zorbel::test
