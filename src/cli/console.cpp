#include "cli/console.h"

#include <cstdio>

#include "platform/keys.h"

namespace zorbel {

void StdConsole::out(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    // A whole line goes out in one write: processes started side by side
    // (xargs -P) that share one pipe then never split each other's lines.
    if (!text.empty() && text.back() == '\n') std::fflush(stdout);
}

void StdConsole::err(std::string_view text) {
    // The message stream goes after anything already on standard output, so
    // that a terminal shows progress and messages in the order they happened.
    std::fflush(stdout);
    std::fwrite(text.data(), 1, text.size(), stderr);
}

void StdConsole::wait_for_enter() {
    // Five bytes: at most four characters and the terminator, like one short
    // line read; the read ends early at a line feed or at end of input.
    char buf[5];
    std::fflush(stderr);
    (void)std::fgets(buf, sizeof buf, stdin);
}

int StdConsole::read_key() {
    std::fflush(stdout);
    std::fflush(stderr);
    return read_key_from_stdin();
}

void StdConsole::flush() {
    std::fflush(stdout);
    std::fflush(stderr);
}

void StringConsole::wait_for_enter() {
    // Mirrors the real read: up to four bytes, stopping after a line feed.
    for (int taken = 0; taken < 4 && input_pos < input.size(); ++taken) {
        if (input[input_pos++] == '\n') break;
    }
}

int StringConsole::read_key() {
    if (input_pos >= input.size()) return 0;
    return static_cast<unsigned char>(input[input_pos++]);
}

}  // namespace zorbel
