#include "platform/keys.h"

#include <cerrno>
#include <termios.h>
#include <unistd.h>

namespace zorbel {

namespace {

int read_one_byte(int fd) {
    unsigned char c = 0;
    for (;;) {
        ssize_t got = ::read(fd, &c, 1);
        if (got == 1) return c;
        if (got < 0 && errno == EINTR) continue;
        return 0;
    }
}

}  // namespace

int read_key_from_stdin() {
    const int fd = STDIN_FILENO;
    termios saved{};
    if (!::isatty(fd) || ::tcgetattr(fd, &saved) != 0) return read_one_byte(fd);
    termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &raw) != 0) return read_one_byte(fd);
    int key = read_one_byte(fd);
    ::tcsetattr(fd, TCSANOW, &saved);
    return key;
}

}  // namespace zorbel
