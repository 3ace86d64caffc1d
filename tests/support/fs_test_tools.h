// Tools for tests that touch the real file system: a current-directory
// switch, file-system flags that make directory operations fail even for
// root, a forked child for faults that would hurt the test process, and
// the status of a fatal exit.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <system_error>

#ifndef _WIN32
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "cli/console.h"
#include "cli/report.h"

namespace zorbel::test {

// Work files go to the current directory; each test moves into its own.
class InDirectory {
public:
    explicit InDirectory(const std::string& dir) {
        std::error_code ec;
        saved_ = std::filesystem::current_path(ec);
        std::filesystem::current_path(dir, ec);
        ok_ = !ec;
    }
    ~InDirectory() {
        std::error_code ec;
        if (!saved_.empty()) std::filesystem::current_path(saved_, ec);
    }
    bool ok() const { return ok_; }

private:
    std::filesystem::path saved_;
    bool ok_ = false;
};

// Runs body; the status of the fatal exit it ended with, or 0.
inline int exit_status_of(const std::function<void()>& body) {
    try {
        body();
    } catch (const FatalExit& exit) {
        return exit.status;
    }
    return 0;
}

#ifndef _WIN32

// Sets an inode flag (FS_IMMUTABLE_FL, FS_APPEND_FL) for the life of the
// object. Permission bits do not stop root, these flags do. ok() is false
// where the file system or the process cannot set them.
class InodeFlag {
public:
    InodeFlag(const std::string& path, int flag) : path_(path), flag_(flag) { ok_ = change(true); }
    ~InodeFlag() {
        if (ok_) change(false);
    }
    bool ok() const { return ok_; }

private:
    bool change(bool on) {
        int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = on ? (flags | flag_) : (flags & ~flag_);
            done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return done;
    }
    std::string path_;
    int flag_;
    bool ok_ = false;
};

struct ChildResult {
    int status = -1;
    std::string err;
};

// Runs body in a forked child with a limit on the size of files it writes
// (SIGXFSZ ignored, so the write fails with EFBIG instead of killing it).
// The child hands back its exit status and the message stream's text.
inline ChildResult run_with_file_size_limit(rlim_t limit, const std::function<int(StringConsole&)>& body) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) return {};
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipe_fds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        StringConsole console;
        int status = body(console);
        (void)!::write(pipe_fds[1], console.err_text.data(), console.err_text.size());
        ::_exit(status);
    }
    ::close(pipe_fds[1]);
    ChildResult result;
    char buf[4096];
    ssize_t got;
    while ((got = ::read(pipe_fds[0], buf, sizeof buf)) > 0) result.err.append(buf, static_cast<std::size_t>(got));
    ::close(pipe_fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

inline mode_t permission_bits(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}
#endif

}  // namespace zorbel::test
