// One keystroke from standard input, for the non-HTML question.
#pragma once

namespace zorbel {

// On a terminal: one key read with canonical input and echo switched off,
// the terminal settings restored afterwards. Otherwise: one byte.
// Returns the byte (0..255), or 0 at end of input or on an error.
int read_key_from_stdin();

}  // namespace zorbel
