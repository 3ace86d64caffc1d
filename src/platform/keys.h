// One keystroke from standard input, for the non-HTML question.
#pragma once

namespace zorbel {

// On a terminal or console: one key read with line input and echo switched
// off, the settings restored afterwards. Otherwise (a file, a pipe): one byte.
// Returns the byte (0..255), or 0 at end of input or on an error.
int read_key_from_stdin();

}  // namespace zorbel
