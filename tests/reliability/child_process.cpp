#include "reliability/child_process.h"

#include "support/test_support.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace zorbel::test {

namespace {

// The unprivileged user and group ("nobody" on most systems).
constexpr uid_t kNobody = 65534;

void close_fd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Appends what one read gives; false at the end of the stream.
bool drain_once(int fd, std::string& into) {
    char buf[65536];
    for (;;) {
        ssize_t got = ::read(fd, buf, sizeof buf);
        if (got > 0) {
            into.append(buf, static_cast<std::size_t>(got));
            return true;
        }
        if (got < 0 && errno == EINTR) continue;
        return false;
    }
}

}  // namespace

Child::Child(const std::vector<std::string>& args, const std::string& cwd, const ChildSetup& setup) {
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (::pipe2(in_pipe, O_CLOEXEC) || ::pipe2(out_pipe, O_CLOEXEC) || ::pipe2(err_pipe, O_CLOEXEC))
        throw std::runtime_error("pipe");
    std::vector<std::string> copies(args);
    std::string binary = test::zorbel_binary();
    std::vector<char*> argv{binary.data()};
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
        // Only async-signal-safe calls from here to exec.
        ::dup2(in_pipe[0], 0);
        if (setup.quiet) {
            int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
        } else {
            ::dup2(out_pipe[1], 1);
            ::dup2(err_pipe[1], 2);
        }
        if (::chdir(cwd.c_str()) != 0) ::_exit(126);
        if (setup.file_size_limit != RLIM_INFINITY) {
            ::signal(SIGXFSZ, SIG_IGN);  // stays ignored across exec
            rlimit limit{setup.file_size_limit, setup.file_size_limit};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(125);
        }
        if (setup.as_nobody && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(124);
        ::execv(binary.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(in_pipe[0]);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    in_ = in_pipe[1];
    out_ = out_pipe[0];
    err_ = err_pipe[0];
    if (setup.quiet) {
        close_fd(out_);
        close_fd(err_);
    }
}

Child::~Child() {
    if (!reaped_) {
        kill_now();
        finish();
    }
    close_fd(in_);
    close_fd(out_);
    close_fd(err_);
}

bool Child::wait_for_err(std::string_view text) {
    while (end_.err.find(text) == std::string::npos) {
        // Standard output is read along, so the child never blocks on it.
        pollfd fds[2] = {{err_, POLLIN, 0}, {out_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) return false;
        if (out_ >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) && !drain_once(out_, end_.out)) close_fd(out_);
        if (err_ < 0) return false;
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) && !drain_once(err_, end_.err)) {
            close_fd(err_);
            return end_.err.find(text) != std::string::npos;
        }
    }
    return true;
}

void Child::write_stdin(std::string_view text) {
    while (!text.empty()) {
        ssize_t put = ::write(in_, text.data(), text.size());
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;  // the child is gone; what it did is judged by the test
        text.remove_prefix(static_cast<std::size_t>(put));
    }
}

void Child::kill_now() {
    if (pid_ > 0 && !reaped_) ::kill(pid_, SIGKILL);
}

ChildEnd Child::finish() {
    close_fd(in_);
    while (out_ >= 0 || err_ >= 0) {
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (out_ >= 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) && !drain_once(out_, end_.out)) close_fd(out_);
        if (err_ >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) && !drain_once(err_, end_.err)) close_fd(err_);
    }
    if (!reaped_ && pid_ > 0) {
        int status = 0;
        rusage usage{};
        while (::wait4(pid_, &status, 0, &usage) < 0 && errno == EINTR) {
        }
        reaped_ = true;
        end_.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        end_.peak_rss_kib = usage.ru_maxrss;
    }
    return end_;
}

ChildEnd run_child(const std::vector<std::string>& args, const std::string& cwd, const ChildSetup& setup) {
    Child child(args, cwd, setup);
    return child.finish();
}

}  // namespace zorbel::test
