// Messages and fatal exits: the shell's side of the error table. A fatal
// error prints its message as the table says, then throws FatalExit, which
// unwinds to the entry point; the entry point flushes the console and
// returns the status. What the user sees is the same as an exit on the
// spot, but a test can run many batches in one process.
#pragma once

#include <string>
#include <string_view>

#include "cli/console.h"
#include "core/errors.h"

namespace zorbel {

struct FatalExit {
    int status;
};

// printf-style formatting of a message into a string ("%s", "%d", "%u").
std::string format_message(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes the error's message to the message stream as its row of the table
// says. A notice then returns; any other error ends the run: a report that
// asks for Enter writes " (press enter)" and waits for one short read of
// standard input first; then it throws FatalExit with the row's status.
void report(Console& console, const Error& error);

}  // namespace zorbel
