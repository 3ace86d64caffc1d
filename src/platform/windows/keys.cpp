#include "platform/keys.h"

#include <windows.h>

namespace zorbel {

namespace {

int read_one_byte(HANDLE in) {
    unsigned char c = 0;
    DWORD got = 0;
    if (::ReadFile(in, &c, 1, &got, nullptr) && got == 1) return c;
    return 0;
}

// One key-down event from the console; its character byte, 0 for a key
// that gives none (a shift or function key) or when the read fails.
int read_console_key(HANDLE in) {
    for (;;) {
        INPUT_RECORD record;
        DWORD got = 0;
        if (!::ReadConsoleInputA(in, &record, 1, &got) || got != 1) return 0;
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) {
            return static_cast<unsigned char>(record.Event.KeyEvent.uChar.AsciiChar);
        }
    }
}

}  // namespace

int read_key_from_stdin() {
    const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    if (in == nullptr || in == INVALID_HANDLE_VALUE) return 0;
    DWORD saved = 0;
    if (!::GetConsoleMode(in, &saved)) return read_one_byte(in);  // a file or a pipe
    // No line input, no echo: the key counts at once and is not shown.
    const DWORD raw = saved & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT);
    if (!::SetConsoleMode(in, raw)) return read_one_byte(in);
    const int key = read_console_key(in);
    ::SetConsoleMode(in, saved);
    return key;
}

}  // namespace zorbel
