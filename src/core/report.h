// Messages and fatal exits. A fatal exit prints its message, then throws
// FatalExit, which unwinds to the entry point; the entry point flushes the
// console and returns the status. What the user sees is the same as an exit
// on the spot, but a test can run many batches in one process.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "core/console.h"

namespace zorbel {

// The exit statuses of the program. There are no others.
enum ExitStatus : int {
    kExitOk = 0,
    kExitFatalReport = 1,   // a report that asked the user to press Enter
    kExitFileError = 3,     // a file could not be opened, read, written or replaced
    kExitNoMemory = 7,
    kExitUsage = 17,
};

struct FatalExit {
    int status;
};

// printf-style formatting of a message into a string ("%s", "%d", "%u").
std::string format_message(const char* format, ...)
    __attribute__((format(printf, 1, 2)));

// Writes the message and a line feed to the message stream. With exit_code 0
// it returns; otherwise it writes " (press enter)", waits for one short read
// of standard input and throws FatalExit{exit_code}.
void report(Console& console, int exit_code, std::string_view message);

// Writes the message (no line feed added) to the message stream and throws
// FatalExit{status} at once, without waiting.
[[noreturn]] void die(Console& console, int status, std::string_view message);

// "couldn't open %s for %s." then status 3.
[[noreturn]] void die_cannot_open(Console& console, std::string_view path, std::string_view mode);

// Zero-filled memory; "ran out of memory." and status 7 when there is none.
std::unique_ptr<unsigned char[]> alloc_or_die(Console& console, std::size_t size);

}  // namespace zorbel
