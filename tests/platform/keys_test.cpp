// The one-key read, through a pipe and through a pseudo-terminal.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "platform/keys.h"
#include "support/run_in_child.h"

namespace zorbel {
namespace {

// Not a terminal: one byte per read, 0 at end of input.
TEST(KeyRead, PipeGivesOneByteAtATime) {
    auto got = test::run_in_child("y\xe9", [] {
        for (int i = 0; i < 3; ++i) std::printf("%d ", read_key_from_stdin());
        return 0;
    });
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.out, "121 233 0 ");
}

// On a terminal the key arrives without Enter and is not echoed, and the
// terminal's settings are back as they were afterwards.
TEST(KeyRead, TerminalKeyWithoutEchoOrEnter) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave_name = ::ptsname(master);
    int report[2];
    ASSERT_EQ(::pipe(report), 0);

    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(master);
        ::close(report[0]);
        ::setsid();
        const int slave = ::open(slave_name.c_str(), O_RDWR);
        if (slave < 0) ::_exit(2);
        ::dup2(slave, 0);
        const int key = read_key_from_stdin();
        termios after{};
        ::tcgetattr(0, &after);
        const int restored = (after.c_lflag & ICANON) && (after.c_lflag & ECHO);
        const std::string line = std::to_string(key) + " " + std::to_string(restored);
        if (::write(report[1], line.data(), line.size()) < 0) ::_exit(3);
        ::_exit(0);
    }
    ::close(report[1]);
    // Whatever happens below, the child does not outlive the test.
    struct Reaper {
        pid_t pid;
        ~Reaper() {
            if (pid > 0) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
        }
    } reaper{pid};

    // Wait until the child has switched canonical input and echo off (the
    // master side reads the terminal's settings), then type one key, no Enter.
    bool raw = false;
    for (int i = 0; i < 500 && !raw; ++i) {
        termios t{};
        if (::tcgetattr(master, &t) == 0 && !(t.c_lflag & (ICANON | ECHO))) raw = true;
        else std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(raw);
    ASSERT_EQ(::write(master, "y", 1), 1);

    // A read that still waited for Enter would never answer: give it 5 s.
    std::string line;
    char buf[64];
    pollfd answer{report[0], POLLIN, 0};
    while (::poll(&answer, 1, 5000) > 0) {
        const ssize_t got = ::read(report[0], buf, sizeof buf);
        if (got <= 0) break;
        line.append(buf, static_cast<std::size_t>(got));
    }
    EXPECT_EQ(line, "121 1");
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
        reaper.pid = 0;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    // Nothing was echoed back to the terminal.
    pollfd pfd{master, POLLIN, 0};
    std::string echoed;
    while (::poll(&pfd, 1, 50) > 0 && (pfd.revents & POLLIN)) {
        const ssize_t got = ::read(master, buf, sizeof buf);
        if (got <= 0) break;
        echoed.append(buf, static_cast<std::size_t>(got));
    }
    EXPECT_EQ(echoed.find('y'), std::string::npos) << echoed;
    ::close(report[0]);
    ::close(master);
}

}  // namespace
}  // namespace zorbel
