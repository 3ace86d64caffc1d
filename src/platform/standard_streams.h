// What the standard streams are connected to.
#pragma once

#include <cstdint>

#include "platform/files.h"

namespace zorbel {

// Whether standard output is a terminal.
bool stdout_is_terminal();

// Standard input as a file that can be read at any offset, when it is one
// (a redirect from a file rather than a pipe or a terminal), with the
// offset it stands at now; an invalid handle otherwise. The handle stays
// the process's: it is not to be closed.
FileHandle standard_input_file(std::uint64_t& position);

}  // namespace zorbel
